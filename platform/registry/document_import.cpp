#include "registry/document_import.h"

#include <string>
#include <vector>

#include "registry/hive.h"
#include "registry/key_path.h"
#include "registry/registry_store.h"
#include "registry/text_codec.h"

namespace ce::registry {
namespace {

bool Refuse(int line, std::string why, regfile::ParseError* error) {
    error->line = line;
    error->message = std::move(why);
    return false;
}

bool ResolveSection(const regfile::Section& section, ImportStep* step, regfile::ParseError* error) {
    const std::u16string_view path = section.path;
    const size_t separator = path.find(kPathSeparator);
    const std::u16string_view rootName = path.substr(0, separator);
    const int root = RootIndexByName(rootName);
    if (root < 0) {
        return Refuse(section.line, "unknown root key '" + ToUtf8(rootName) + "'", error);
    }
    const std::u16string_view below =
        separator == std::u16string_view::npos ? std::u16string_view() : path.substr(separator + 1);
    if (SplitKeyPath(below, &step->names) != ERROR_SUCCESS || step->names.size() > kMaxKeyDepth) {
        return Refuse(section.line, "bad key path '" + ToUtf8(path) + "'", error);
    }
    if (section.remove && step->names.empty()) {
        return Refuse(section.line, "a root key cannot be deleted", error);
    }
    for (const regfile::ValueLine& value : section.values) {
        if (CheckValueName(value.name) != ERROR_SUCCESS) {
            return Refuse(value.line, "value name too long", error);
        }
        if (!value.remove && CheckValueSize(value.data.size()) != ERROR_SUCCESS) {
            return Refuse(value.line, "value larger than " + std::to_string(kMaxValueBytes) + " bytes",
                          error);
        }
    }
    step->root = static_cast<size_t>(root);
    step->section = &section;
    return true;
}

}  // namespace

LONG ImportDocument(const regfile::Document& document, regfile::ParseError* error) {
    if (const LONG refused = StartRegistry(); refused != ERROR_SUCCESS) {
        Refuse(0, HiveProblem(), error);
        return refused;
    }
    // Every section is checked before anything changes, so a bad document leaves the registry as it was.
    std::vector<ImportStep> steps(document.sections.size());
    for (size_t i = 0; i < steps.size(); ++i) {
        if (!ResolveSection(document.sections[i], &steps[i], error)) {
            return ERROR_BADDB;
        }
    }
    size_t failed = 0;
    if (const LONG status = Store().Import(steps, &failed); status != ERROR_SUCCESS) {
        Refuse(steps[failed].section->line, "a lasting key cannot be made below a volatile one", error);
        return status;
    }
    // As for every change, a failed save keeps the import in memory for the next save and says why.
    SaveHive();
    return ERROR_SUCCESS;
}

}  // namespace ce::registry
