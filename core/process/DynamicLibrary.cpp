#include "core/process/DynamicLibrary.h"

DynamicLibrary::~DynamicLibrary()
{
    if (module_)
        FreeLibrary(module_);
}

BOOL DynamicLibrary::Load()
{
    if (module_)
        return TRUE;
    module_ = LoadLibraryW(name_);
    if (!module_)
        return FALSE;
    if (!Resolve()) {
        Clear();
        FreeLibrary(module_);
        module_ = nullptr;
    }
    return module_ != nullptr;
}
