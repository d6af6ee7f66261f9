#pragma once
//
//  Which process enumerator the program uses, chosen once at start: the holder keeps the
//  chosen provider's factory; owners and proxies get a provider from it without naming it.
//
#include "core/process/ProcessEnumerator.h"

class ProcessEnumeratorFactory {
public:
    virtual ~ProcessEnumeratorFactory() = default;
    virtual ProcessEnumerator* Create() = 0;
    virtual BOOL Destroy(ProcessEnumerator* enumerator) = 0;
};

class PsapiProcessEnumeratorFactory : public ProcessEnumeratorFactory {
public:
    ProcessEnumerator* Create() override { return new PsapiProcessEnumerator; }
    BOOL Destroy(ProcessEnumerator* enumerator) override;
};

class ToolhelpProcessEnumeratorFactory : public ProcessEnumeratorFactory {
public:
    ProcessEnumerator* Create() override { return new ToolhelpProcessEnumerator; }
    BOOL Destroy(ProcessEnumerator* enumerator) override;
};

class ProcessEnumeratorHolder {
public:
    // The process-wide holder; created when create is true and it does not exist yet.
    static ProcessEnumeratorHolder* Instance(bool create);
    // Deletes the holder with its factory.
    static void Release();

    ProcessEnumeratorFactory* Factory() const { return factory_; }
    // Takes ownership; deletes the factory held before.
    void Install(ProcessEnumeratorFactory* factory);

private:
    ProcessEnumeratorHolder() = default;
    ~ProcessEnumeratorHolder();
    ProcessEnumeratorFactory* factory_ = nullptr;
};

void UsePsapiProcessEnumerator();
void UseToolhelpProcessEnumerator();
// The process-status library when it loads, else Toolhelp.
void ChooseProcessEnumerator();
// At exit: the holder with its factory and both library objects.
void ReleaseProcessEnumeratorSingletons();

// Owns one provider from the holder's factory for the owner's lifetime.
class ProcessEnumeratorOwner {
public:
    ProcessEnumeratorOwner();
    virtual ~ProcessEnumeratorOwner();
    ProcessEnumeratorOwner(const ProcessEnumeratorOwner&) = delete;
    ProcessEnumeratorOwner& operator=(const ProcessEnumeratorOwner&) = delete;

    // Hands the provider back to the factory now installed; 0 when there was none.
    BOOL Release();
    ProcessEnumerator* Get() const { return enumerator_; }

protected:
    ProcessEnumerator* enumerator_ = nullptr;
};

// Forwards to the owned provider; without one every search finds nothing.
class ProcessEnumeratorProxy : public ProcessEnumeratorOwner {
public:
    ~ProcessEnumeratorProxy() override = default;
    virtual BOOL EnumProcessIds(std::vector<DWORD>& ids);
    virtual void GetImagePath(CString& path, DWORD processId);
    virtual BOOL FindByFileName(const CString& fileName, std::vector<DWORD>& ids);
    virtual BOOL FindByImagePath(const CString& path, std::vector<DWORD>& ids);
    virtual BOOL GetProcessWindows(DWORD processId, std::vector<HWND>& windows);
};
