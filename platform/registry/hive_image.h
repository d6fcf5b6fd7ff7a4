// Converts between a tree of keys and a .reg document: what a save writes and what a load builds.
#pragma once

#include "registry/key_tree.h"
#include "registry/reg_file.h"

namespace ce::registry {

// Every lasting key of roots, parents before children, siblings in creation order; volatile keys and all
// below them are left out. A root gets a section only when it holds values.
regfile::Document BuildDocument(const RootSet& roots);

// Applies the document's sections in order to roots, as an import does: creates keys and sets values,
// deletes the keys of [-key] sections and the values of "name"=- lines. False with the line of the first
// section or value the registry would refuse.
bool ApplyDocument(const regfile::Document& document, RootSet* roots, regfile::ParseError* error);

}  // namespace ce::registry
