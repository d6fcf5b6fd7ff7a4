#include "registry/hive_image.h"

#include "registry/key_path.h"
#include "registry/text_codec.h"

namespace ce::registry {
namespace {

void AppendKey(const KeyRef& key, const std::u16string& path, regfile::Document* document) {
    if (key->isVolatile) {
        return;
    }
    if (key->depth > 0 || !key->values.empty()) {
        regfile::Section section;
        section.path = path;
        for (const RegValue& value : key->values) {
            section.values.push_back(regfile::ValueLine{0, value.name, false, value.type, value.data});
        }
        document->sections.push_back(std::move(section));
    }
    for (const KeyRef& child : key->subkeys) {
        AppendKey(child, path + kPathSeparator + child->name, document);
    }
}

std::string Quote(std::u16string_view text) {
    std::string quoted = ToUtf8(text);
    quoted.insert(quoted.begin(), '\'');
    quoted.push_back('\'');
    return quoted;
}

// Splits "ROOT\path" into the root's index and the names below it.
bool ResolveSection(const regfile::Section& section, int* root, std::vector<std::u16string_view>* names,
                    regfile::ParseError* error) {
    const std::u16string_view path = section.path;
    const size_t separator = path.find(kPathSeparator);
    const std::u16string_view rootName = path.substr(0, separator);
    *root = RootIndexByName(rootName);
    error->line = section.line;
    if (*root < 0) {
        error->message = "unknown root key " + Quote(rootName);
        return false;
    }
    const std::u16string_view below =
        separator == std::u16string_view::npos ? std::u16string_view() : path.substr(separator + 1);
    switch (SplitKeyPath(below, names)) {
        case ERROR_SUCCESS:
            break;
        case ERROR_BAD_PATHNAME:
            error->message = "empty key name in path " + Quote(path);
            return false;
        default:
            error->message = "key name too long or holding a control character in " + Quote(path);
            return false;
    }
    if (names->size() > kMaxKeyDepth) {
        error->message = "key path deeper than " + std::to_string(kMaxKeyDepth) + " levels";
        return false;
    }
    return true;
}

std::string TooLarge(size_t bytes) {
    return "value of " + std::to_string(bytes) + " bytes; a value holds at most " +
           std::to_string(kMaxValueBytes);
}

bool ApplyValues(const regfile::Section& section, KeyNode* key, regfile::ParseError* error) {
    for (const regfile::ValueLine& value : section.values) {
        if (CheckValueName(value.name) != ERROR_SUCCESS) {
            error->line = value.line;
            error->message = "value name longer than " + std::to_string(kMaxValueNameChars) + " characters";
            return false;
        }
        if (CheckValueSize(value.data.size()) != ERROR_SUCCESS) {
            error->line = value.line;
            error->message = TooLarge(value.data.size());
            return false;
        }
        if (value.remove) {
            if (key->values.Remove(value.name)) {
                key->lastWrite = FileTimeNow();
            }
        } else {
            SetValue(key, value.name, value.type, value.data);
        }
    }
    return true;
}

}  // namespace

regfile::Document BuildDocument(const RootSet& roots) {
    regfile::Document document;
    for (const KeyRef& root : roots.roots) {
        AppendKey(root, root->name, &document);
    }
    return document;
}

bool ApplyDocument(const regfile::Document& document, RootSet* roots, regfile::ParseError* error) {
    std::vector<std::u16string_view> names;
    for (const regfile::Section& section : document.sections) {
        int root = -1;
        if (!ResolveSection(section, &root, &names, error)) {
            return false;
        }
        const KeyRef& base = roots->roots[static_cast<size_t>(root)];
        if (section.remove) {
            if (names.empty()) {
                error->line = section.line;
                error->message = "a root key cannot be deleted";
                return false;
            }
            if (const KeyRef key = FindKey(base, names)) {
                DeleteKey(key.get());
            }
            continue;
        }
        CreateResult created;
        if (CreateKey(base, names, false, &created) != ERROR_SUCCESS) {
            error->line = section.line;
            error->message = "cannot create key";
            return false;
        }
        if (!ApplyValues(section, created.key.get(), error)) {
            return false;
        }
    }
    return true;
}

}  // namespace ce::registry
