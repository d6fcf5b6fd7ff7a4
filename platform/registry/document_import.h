// Imports of .reg documents into this process's registry as one change: the whole document or nothing,
// and one save of the hive at the end. A device host runs it for its programs' imports, so every field of
// the document is checked here as untrusted.
#pragma once

#include <windows.h>

#include "registry/reg_file.h"

namespace ce::registry {

// Applies document's sections in order (keys created, values set, [-key] and "name"=- removals). A section
// or value that breaks the registry's rules answers ERROR_BADDB, one the tree refuses answers its refusal
// (ERROR_CHILD_MUST_BE_VOLATILE), both with the line and why in *error, and nothing changes. A refused hive
// answers its refusal (see hive.h) with the hive's problem in *error and line 0.
LONG ImportDocument(const regfile::Document& document, regfile::ParseError* error);

}  // namespace ce::registry
