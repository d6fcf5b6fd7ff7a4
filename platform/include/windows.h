// Everything a program or driver for the device includes.
#pragma once

#include "windef.h"
#include "winerror.h"
#include "winbase.h"
#include "winreg.h"
#include "winioctl.h"
#include "pegdser.h"
#include "pkfuncs.h"
#include "devload.h"
#include "pm.h"
#include "wingdi.h"
#include "winuser.h"
