#include "core/process/ProcessEnumeratorHolder.h"

#include "core/process/ProcessLibraries.h"

namespace {

ProcessEnumeratorHolder* g_holder = nullptr;

}  // namespace

BOOL PsapiProcessEnumeratorFactory::Destroy(ProcessEnumerator* enumerator)
{
    delete enumerator;
    return TRUE;
}

BOOL ToolhelpProcessEnumeratorFactory::Destroy(ProcessEnumerator* enumerator)
{
    delete enumerator;
    return TRUE;
}

ProcessEnumeratorHolder* ProcessEnumeratorHolder::Instance(bool create)
{
    if (!g_holder && create)
        g_holder = new ProcessEnumeratorHolder;
    return g_holder;
}

void ProcessEnumeratorHolder::Release()
{
    delete g_holder;
    g_holder = nullptr;
}

ProcessEnumeratorHolder::~ProcessEnumeratorHolder()
{
    delete factory_;
}

void ProcessEnumeratorHolder::Install(ProcessEnumeratorFactory* factory)
{
    delete factory_;
    factory_ = factory;
}

void UsePsapiProcessEnumerator()
{
    ProcessEnumeratorHolder::Instance(true)->Install(new PsapiProcessEnumeratorFactory);
}

void UseToolhelpProcessEnumerator()
{
    ProcessEnumeratorHolder::Instance(true)->Install(new ToolhelpProcessEnumeratorFactory);
}

void ChooseProcessEnumerator()
{
    if (GetPsapiLibrary().Load())
        UsePsapiProcessEnumerator();
    else
        UseToolhelpProcessEnumerator();
}

void ReleaseProcessEnumeratorSingletons()
{
    ProcessEnumeratorHolder::Release();
    ReleaseProcessLibraries();
}

ProcessEnumeratorOwner::ProcessEnumeratorOwner()
{
    if (ProcessEnumeratorFactory* factory = ProcessEnumeratorHolder::Instance(true)->Factory())
        enumerator_ = factory->Create();
}

ProcessEnumeratorOwner::~ProcessEnumeratorOwner()
{
    Release();
}

BOOL ProcessEnumeratorOwner::Release()
{
    if (!enumerator_)
        return FALSE;
    BOOL result = FALSE;
    ProcessEnumeratorHolder* holder = ProcessEnumeratorHolder::Instance(false);
    if (holder && holder->Factory())
        result = holder->Factory()->Destroy(enumerator_);
    else
        delete enumerator_;  // the holder went first: the provider must not outlive its owner
    enumerator_ = nullptr;
    return result;
}

BOOL ProcessEnumeratorProxy::EnumProcessIds(std::vector<DWORD>& ids)
{
    if (!enumerator_) {
        ids.clear();
        return FALSE;
    }
    return enumerator_->EnumProcessIds(ids);
}

void ProcessEnumeratorProxy::GetImagePath(CString& path, DWORD processId)
{
    if (enumerator_)
        enumerator_->GetImagePath(path, processId);
    else
        path.Empty();
}

BOOL ProcessEnumeratorProxy::FindByFileName(const CString& fileName, std::vector<DWORD>& ids)
{
    if (!enumerator_) {
        ids.clear();
        return FALSE;
    }
    return enumerator_->FindByFileName(fileName, ids);
}

BOOL ProcessEnumeratorProxy::FindByImagePath(const CString& path, std::vector<DWORD>& ids)
{
    if (!enumerator_) {
        ids.clear();
        return FALSE;
    }
    return enumerator_->FindByImagePath(path, ids);
}

BOOL ProcessEnumeratorProxy::GetProcessWindows(DWORD processId, std::vector<HWND>& windows)
{
    if (!enumerator_) {
        windows.clear();
        return FALSE;
    }
    return enumerator_->GetProcessWindows(processId, windows);
}
