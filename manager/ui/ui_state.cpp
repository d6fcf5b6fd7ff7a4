#include "ui_state.h"

UiState g_ui = {};
