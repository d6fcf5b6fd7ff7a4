// A .reg document as the fields of an import request. The program parses the file and says which lines
// its sections and values came from; the host takes every field as untrusted and applies the document.
//
// Fields: u32 sections, then for each: u32 line, string path, u32 remove, u32 values, and for each value:
// u32 line, string name, u32 remove, u32 type, bytes data.
#pragma once

#include "wire/wire.h"
#include "registry/reg_file.h"

namespace ce::wire {

void PutDocument(Writer& request, const registry::regfile::Document& document);
// False when a field is missing or does not fit; what was read is then of no use.
bool TakeDocument(Reader& request, registry::regfile::Document* document);

}  // namespace ce::wire
