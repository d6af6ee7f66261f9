#include "service/session/UserTokens.h"

#include "classlib/ScopedHandle.h"
#include "classlib/ScopedLocalMemory.h"
#include "core/process/ProcessEnumeratorHolder.h"
#include "core/system/OSVersion.h"

#include <sddl.h>

namespace Quelmar {

namespace {

const DWORD kAccountChars = 512;
// Token blocks are a few hundred bytes; a size beyond this is not believed.
const DWORD kLargestTokenBlock = 64 * 1024;

// The token information block of the kind; empty when it cannot be read.
std::vector<BYTE> ReadTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind)
{
    DWORD size = 0;
    GetTokenInformation(token, kind, nullptr, 0, &size);
    if (size == 0 || size > kLargestTokenBlock)
        return std::vector<BYTE>();
    std::vector<BYTE> block(size);
    if (!GetTokenInformation(token, kind, block.data(), size, &size))
        return std::vector<BYTE>();
    return block;
}

// The last sub-authority of the token's integrity label (0x3000 is high); FALSE when it
// cannot be read.
BOOL ReadIntegrityLevel(HANDLE token, DWORD& level)
{
    std::vector<BYTE> block = ReadTokenInformation(token, TokenIntegrityLevel);
    if (block.size() < sizeof(TOKEN_MANDATORY_LABEL))
        return FALSE;
    PSID label = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(block.data())->Label.Sid;
    if (!label || !IsValidSid(label) || *GetSidSubAuthorityCount(label) == 0)
        return FALSE;
    level = *GetSidSubAuthority(label, *GetSidSubAuthorityCount(label) - 1);
    return TRUE;
}

// The process runs at the integrity level or above; a process whose token cannot be read
// does not.
bool RunsAtLeastAt(HANDLE process, DWORD minimumIntegrity)
{
    ScopedHandle token;
    DWORD level = 0;
    return OpenProcessToken(process, TOKEN_QUERY, token.Receive()) && ReadIntegrityLevel(token.Get(), level) &&
           level >= minimumIntegrity;
}

CString UserKey(HANDLE process)
{
    ScopedHandle token;
    if (!OpenProcessToken(process, TOKEN_QUERY, token.Receive()))
        return CString();
    CString name;
    CString domain;
    if (!GetTokenUser(token.Get(), name, domain) || (name.IsEmpty() && domain.IsEmpty()))
        return CString();
    CString key = domain + L"\\" + name;
    WCHAR* text = key.GetBuffer(key.GetLength());
    CharUpperBuffW(text, DWORD(key.GetLength()));
    key.ReleaseBuffer();
    return key;
}

// The path with every short (8.3) component in its long form, so that two spellings of one
// file compare equal; the path as given when the file cannot be found.
CString LongPathOf(const CString& path)
{
    if (path.IsEmpty())
        return path;
    DWORD needed = GetLongPathNameW(path, nullptr, 0);
    if (needed == 0)
        return path;
    std::vector<WCHAR> buffer(needed);
    DWORD length = GetLongPathNameW(path, buffer.data(), needed);
    if (length == 0 || length >= needed)
        return path;
    return CString(buffer.data(), size_t(length));
}

}  // namespace

BOOL GetTokenUser(HANDLE token, CString& name, CString& domain)
{
    name.Empty();
    domain.Empty();
    std::vector<BYTE> block = ReadTokenInformation(token, TokenUser);
    if (block.size() < sizeof(TOKEN_USER))
        return FALSE;
    PSID sid = reinterpret_cast<TOKEN_USER*>(block.data())->User.Sid;
    WCHAR nameBuffer[kAccountChars] = {};
    WCHAR domainBuffer[kAccountChars] = {};
    DWORD nameLength = kAccountChars;
    DWORD domainLength = kAccountChars;
    SID_NAME_USE use = SidTypeUnknown;
    if (LookupAccountSidW(nullptr, sid, nameBuffer, &nameLength, domainBuffer, &domainLength, &use)) {
        name = CString(nameBuffer, nameLength < kAccountChars ? nameLength : kAccountChars);
        domain = CString(domainBuffer, domainLength < kAccountChars ? domainLength : kAccountChars);
    }
    return TRUE;
}

BOOL GetProcessUsers(const std::vector<DWORD>& processIds, const CString& match, BOOL byFullPath, UserProcessMap& users,
                     DWORD minimumIntegrity)
{
    ProcessEnumeratorProxy processes;
    BOOL matched = FALSE;
    // A program path may be spelt with short names on one side and long ones on the other.
    const CString wanted = byFullPath ? LongPathOf(match) : match;
    // Where the system has no integrity levels every process runs at the one level there is.
    const bool minimumApplies = minimumIntegrity != 0 && COSVersion().HasIntegrityLevels();
    for (DWORD id : processIds) {
        CString path;
        processes.GetImagePath(path, id);
        if (byFullPath) {
            path = LongPathOf(path);
        } else {
            int slash = path.ReverseFind(L'\\');
            if (slash >= 0)
                path = path.Mid(slash + 1);
        }
        if (CompareStringOrdinal(path, -1, wanted, -1, TRUE) != CSTR_EQUAL)
            continue;
        ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, id));
        if (minimumApplies && !(process.IsValid() && RunsAtLeastAt(process.Get(), minimumIntegrity)))
            continue;
        matched = TRUE;
        CString key = process.IsValid() ? UserKey(process.Get()) : CString();
        users.insert(UserProcessMap::value_type(key, id));
    }
    return matched;
}

BOOL SetHighIntegrityLevel(HANDLE token)
{
    DWORD level = 0;
    // Without integrity levels there is nothing to raise. Where they exist, a level that cannot
    // be read is not known to be high: the token would start a program at the user's own level.
    if (!ReadIntegrityLevel(token, level))
        return !COSVersion().HasIntegrityLevels();
    if (level >= kHighIntegrityRid)
        return TRUE;

    ScopedLocalMemory<void> high;
    if (!ConvertStringSidToSidW(L"S-1-16-12288", high.Receive()) || !IsValidSid(high.Get()))
        return FALSE;
    TOKEN_MANDATORY_LABEL raised = {};
    raised.Label.Sid = high.Get();
    raised.Label.Attributes = SE_GROUP_INTEGRITY;
    return SetTokenInformation(token, TokenIntegrityLevel, &raised, DWORD(sizeof raised + GetLengthSid(high.Get())));
}

}  // namespace Quelmar
