// LoadIconW and DestroyIcon: icons from a module's resources (or the system's), shared per module.
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <utility>

#include <ceplatform_ui.h>
#include <windows.h>

#include "kernel/handle_table.h"
#include "kernel/wide_string.h"
#include "user/gdi/icon_object.h"
#include "user/resources/icon_cache.h"
#include "user/resources/icon_image.h"
#include "user/resources/module_table.h"
#include "user/resources/resource_lookup.h"
#include "user/resources/terminal_picture.h"

namespace ce::ui {
namespace {

constexpr uint32_t kSystemSerial = 0;  // the system's icons belong to no registration

// (registration serial, group name folded or "#<ordinal>") -> the shared icon's handle
using IconKey = std::pair<uint32_t, std::u16string>;

struct IconCache {
    std::mutex lock;
    std::map<IconKey, HICON> icons;  // lock
};

IconCache& Cache() {
    static IconCache* cache = new IconCache;  // leaked: icons outlive static destruction
    return *cache;
}

std::u16string NameKey(const ResourceId& id) {
    return id.isOrdinal ? FromUtf8(id.Describe()) : FoldCase(id.text);
}

// A fault in an icon the program shipped: said once on stderr, as the program's author needs to know.
void Report(HMODULE module, const ResourceId& name, const std::string& what) {
    auto found = ModuleByHandle(reinterpret_cast<HMODULE>(ResourceModule(module)));
    std::fprintf(stderr, "ceplatform: icon %s of %s: %s\n", name.Describe().c_str(),
                 found ? found->path.c_str() : "an unknown module", what.c_str());
}

// Fills the icon from the group's chosen image and the picture beside the group.
DWORD LoadFromResources(HMODULE module, const ResourceId& name, const FoundResource& group,
                        IconObject* icon) {
    std::string what;
    WORD imageId = 0;
    if (!ChooseIconImage(group.data, group.size, &imageId, &what)) {
        Report(module, name, what);
        return ERROR_INVALID_DATA;
    }
    ResourceId image;
    image.ordinal = imageId;
    FoundResource bits;
    if (FindModuleResource(module, image, ResourceId::FromArgument(RT_ICON), &bits) != ERROR_SUCCESS) {
        Report(module, name, "the group names image #" + std::to_string(imageId) + ", which is missing");
        return ERROR_INVALID_DATA;
    }
    DecodedIcon decoded;
    DWORD error = DecodeIconImage(bits.data, bits.size, &decoded, &what);
    if (error != ERROR_SUCCESS) {
        Report(module, name, what);
        return error;
    }
    icon->resourceId = name.isOrdinal ? name.ordinal : 0;
    icon->width = decoded.width;
    icon->height = decoded.height;
    icon->argb = std::move(decoded.argb);

    FoundResource picture;
    ResourceId pictureType = ResourceId::FromArgument(CE_RT_TERMICON);
    if (FindModuleResource(module, name, pictureType, &picture) == ERROR_SUCCESS) {
        std::u16string text(picture.size / sizeof(char16_t), u'\0');
        std::memcpy(text.data(), picture.data, text.size() * sizeof(char16_t));
        if (!ParseTerminalPicture(text, &icon->picture, &what)) {
            Report(module, name, what);  // the icon itself is fine: it is shown with the placeholder
        }
    }
    return ERROR_SUCCESS;
}

HICON LoadShared(HINSTANCE instance, const ResourceId& name, DWORD* error) {
    FoundResource group;
    uint32_t serial = kSystemSerial;
    if (instance != nullptr) {
        *error = FindModuleResource(instance, name, ResourceId::FromArgument(RT_GROUP_ICON), &group);
        if (*error != ERROR_SUCCESS) {
            return nullptr;
        }
        serial = group.serial;
    }
    IconCache& cache = Cache();
    std::lock_guard guard(cache.lock);
    IconKey key{serial, NameKey(name)};
    auto cached = cache.icons.find(key);
    if (cached != cache.icons.end() && LookupIcon(cached->second)) {
        return cached->second;
    }
    auto icon = std::make_shared<IconObject>();
    if (instance == nullptr) {
        if (!name.isOrdinal || !MakeSystemIcon(name.ordinal, icon.get())) {
            *error = ERROR_RESOURCE_NAME_NOT_FOUND;
            return nullptr;
        }
    } else if ((*error = LoadFromResources(instance, name, group, icon.get())) != ERROR_SUCCESS) {
        return nullptr;
    }
    auto handle = static_cast<HICON>(InsertHandle(icon));
    if (handle == nullptr) {
        *error = ERROR_NO_SYSTEM_RESOURCES;
        return nullptr;
    }
    cache.icons[key] = handle;
    return handle;
}

}  // namespace

std::shared_ptr<IconObject> LookupIcon(HICON icon) {
    return Lookup<IconObject>(icon, ObjectType::Icon);
}

void ForgetIcons(uint32_t serial) {
    IconCache& cache = Cache();
    std::lock_guard guard(cache.lock);
    for (auto it = cache.icons.begin(); it != cache.icons.end();) {
        if (it->first.first == serial) {
            RemoveHandle(it->second, ObjectType::Icon);
            it = cache.icons.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace ce::ui

extern "C" HICON WINAPI LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName) {
    try {
        DWORD error = ERROR_SUCCESS;
        HICON icon = ce::ui::LoadShared(hInstance, ce::ui::ResourceId::FromArgument(lpIconName), &error);
        if (icon == nullptr) {
            SetLastError(error);
        }
        return icon;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

extern "C" BOOL WINAPI DestroyIcon(HICON hIcon) {
    // Every icon here is shared: it stays valid for the other users that loaded it, as on the device.
    if (!ce::ui::LookupIcon(hIcon)) {
        SetLastError(ERROR_INVALID_CURSOR_HANDLE);
        return FALSE;
    }
    return TRUE;
}
