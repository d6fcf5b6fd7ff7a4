// Image lists: numbered icons of one size, each a copy the list owns, so the icon handed in may be
// destroyed afterwards, as in Win32.
#include "user/controls/control_views.h"
#include "user/gdi/icon_object.h"

#include <commctrl.h>

#include <new>

namespace ce::ui {
namespace {

class ImageListObject : public KernelObject {
  public:
    ImageListObject(int width, int height, UINT flags)
        : KernelObject(ObjectType::ImageList), width(width), height(height), flags(flags) {}
    ~ImageListObject() override {
        for (HICON icon : icons) {
            RemoveHandle(icon, ObjectType::Icon);
        }
    }

    const int width, height;
    const UINT flags;
    std::vector<HICON> icons;  // guarded by UiMutex(); handles of the list's own copies
};

std::shared_ptr<ImageListObject> LookupList(HIMAGELIST list) {
    return Lookup<ImageListObject>(list, ObjectType::ImageList);
}

// A copy of an icon as a new handle, or nullptr.
HICON CopyIcon(const IconObject& icon) {
    try {
        auto copy = std::make_shared<IconObject>();
        copy->resourceId = icon.resourceId;
        copy->width = icon.width;
        copy->height = icon.height;
        copy->argb = icon.argb;
        copy->picture = icon.picture;
        return static_cast<HICON>(InsertHandle(copy));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

}  // namespace

HICON ImageListIcon(HIMAGELIST list, int index) {
    std::shared_ptr<ImageListObject> images = LookupList(list);
    if (!images) {
        return nullptr;
    }
    UiLock lock(UiMutex());
    return index >= 0 && static_cast<size_t>(index) < images->icons.size()
               ? images->icons[static_cast<size_t>(index)]
               : nullptr;
}

bool ImageListSize(HIMAGELIST list, int* cx, int* cy) {
    std::shared_ptr<ImageListObject> images = LookupList(list);
    if (!images) {
        return false;
    }
    *cx = images->width;
    *cy = images->height;
    return true;
}

}  // namespace ce::ui

using namespace ce;
using namespace ce::ui;

extern "C" HIMAGELIST WINAPI ImageList_Create(int cx, int cy, UINT flags, int cInitial, int cGrow) {
    if (cx <= 0 || cy <= 0 || cInitial < 0 || cGrow < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        auto list = std::make_shared<ImageListObject>(cx, cy, flags);
        list->icons.reserve(static_cast<size_t>(cInitial));
        return static_cast<HIMAGELIST>(InsertHandle(list));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

extern "C" BOOL WINAPI ImageList_Destroy(HIMAGELIST himl) {
    if (!RemoveHandle(himl, ObjectType::ImageList)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    TellFrontEndChanged();
    return TRUE;
}

extern "C" int WINAPI ImageList_ReplaceIcon(HIMAGELIST himl, int i, HICON hicon) {
    std::shared_ptr<ImageListObject> list = LookupList(himl);
    if (!list) {
        SetLastError(ERROR_INVALID_HANDLE);
        return -1;
    }
    std::shared_ptr<IconObject> icon = Lookup<IconObject>(hicon, ObjectType::Icon);
    if (!icon) {
        SetLastError(ERROR_INVALID_CURSOR_HANDLE);
        return -1;
    }
    {
        UiLock lock(UiMutex());
        if (i < -1 || (i >= 0 && static_cast<size_t>(i) >= list->icons.size())) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return -1;
        }
    }
    HICON copy = CopyIcon(*icon);
    if (copy == nullptr) {
        return -1;
    }
    HICON replaced = nullptr;
    {
        UiLock lock(UiMutex());
        try {
            if (i == -1) {
                list->icons.push_back(copy);
                i = static_cast<int>(list->icons.size()) - 1;
            } else {
                replaced = list->icons[static_cast<size_t>(i)];
                list->icons[static_cast<size_t>(i)] = copy;
            }
        } catch (const std::bad_alloc&) {
            RemoveHandle(copy, ObjectType::Icon);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return -1;
        }
    }
    if (replaced != nullptr) {
        RemoveHandle(replaced, ObjectType::Icon);
    }
    TellFrontEndChanged();
    return i;
}

extern "C" int WINAPI ImageList_GetImageCount(HIMAGELIST himl) {
    std::shared_ptr<ImageListObject> list = LookupList(himl);
    if (!list) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    UiLock lock(UiMutex());
    return static_cast<int>(list->icons.size());
}

extern "C" HICON WINAPI ImageList_GetIcon(HIMAGELIST himl, int i, UINT flags) {
    std::shared_ptr<IconObject> icon = Lookup<IconObject>(ImageListIcon(himl, i), ObjectType::Icon);
    if (!icon) {
        SetLastError(LookupList(himl) ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return CopyIcon(*icon);
}

extern "C" BOOL WINAPI ImageList_GetIconSize(HIMAGELIST himl, int* cx, int* cy) {
    int width, height;
    if (cx == nullptr || cy == nullptr || !ImageListSize(himl, &width, &height)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *cx = width;
    *cy = height;
    return TRUE;
}

extern "C" BOOL WINAPI ImageList_Remove(HIMAGELIST himl, int i) {
    std::shared_ptr<ImageListObject> list = LookupList(himl);
    if (!list) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::vector<HICON> removed;
    {
        UiLock lock(UiMutex());
        if (i == -1) {
            removed.swap(list->icons);
        } else if (i >= 0 && static_cast<size_t>(i) < list->icons.size()) {
            removed.push_back(list->icons[static_cast<size_t>(i)]);
            list->icons.erase(list->icons.begin() + i);
        } else {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
    }
    for (HICON icon : removed) {
        RemoveHandle(icon, ObjectType::Icon);
    }
    TellFrontEndChanged();
    return TRUE;
}
