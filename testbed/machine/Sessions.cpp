#include "testbed/machine/Sessions.h"

#include "testbed/machine/Machine.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace testbed {

std::vector<BYTE> UserSid(DWORD rid)
{
    const DWORD subAuthorities[] = {21, 1004336348, 1177238915, 682003330, rid};
    std::vector<BYTE> sid = {1, 5, 0, 0, 0, 0, 0, 5};
    for (DWORD value : subAuthorities)
        for (int shift = 0; shift < 32; shift += 8)
            sid.push_back(static_cast<BYTE>(value >> shift));
    return sid;
}

bool UserSessions::Active() const
{
    std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
    return !sessions_.empty();
}

SimulatedUser& UserSessions::AddUser(const std::wstring& domain, const std::wstring& name)
{
    std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
    auto user = std::make_unique<SimulatedUser>();
    user->domain = domain;
    user->name = name;
    user->sid = UserSid(1001 + static_cast<DWORD>(users_.size()));
    users_.push_back(std::move(user));
    return *users_.back();
}

void UserSessions::AddSession(DWORD id, const SimulatedUser* user)
{
    std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
    for (auto& session : sessions_) {
        if (session.first == id) {
            session.second = user;
            return;
        }
    }
    sessions_.emplace_back(id, user);
}

const SimulatedUser* UserSessions::SessionUser(DWORD id) const
{
    std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
    for (const auto& session : sessions_)
        if (session.first == id)
            return session.second;
    return nullptr;
}

bool UserSessions::HasSession(DWORD id) const
{
    std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
    for (const auto& session : sessions_)
        if (session.first == id)
            return true;
    return false;
}

SimulatedProcess& UserSessions::StartProcess(DWORD sessionId, const SimulatedUser& user, const std::wstring& imagePath,
                                             DWORD integrityLevel)
{
    std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
    auto token = std::make_shared<TokenState>();
    token->user = &user;
    token->sessionId = sessionId;
    token->integrityLevel = integrityLevel;
    processes_.push_back(std::make_unique<SimulatedProcess>(
        SimulatedProcess{nextProcessId_, sessionId, &user, imagePath, true, std::move(token), false}));
    nextProcessId_ += 4;
    return *processes_.back();
}

void UserSessions::EndProcess(DWORD id)
{
    std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
    if (SimulatedProcess* process = FindProcess(id))
        process->running = false;
}

SimulatedProcess* UserSessions::FindProcess(DWORD id)
{
    std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
    for (auto& process : processes_)
        if (process->id == id && process->running)
            return process.get();
    return nullptr;
}

std::vector<DWORD> UserSessions::ProcessIds() const
{
    std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
    std::vector<DWORD> ids;
    for (const auto& process : processes_)
        if (process->running)
            ids.push_back(process->id);
    return ids;
}

const SimulatedUser* UserSessions::FindUserBySid(const void* sid) const
{
    std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
    if (!sid)
        return nullptr;
    const size_t length = 8 + 4 * static_cast<size_t>(static_cast<const BYTE*>(sid)[1]);
    for (const auto& user : users_)
        if (user->sid.size() == length && std::memcmp(user->sid.data(), sid, length) == 0)
            return user.get();
    return nullptr;
}

std::vector<Launch> UserSessions::Launches() const
{
    std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
    return launches_;
}

void UserSessions::RecordLaunch(Launch launch)
{
    std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
    launches_.push_back(std::move(launch));
}

}  // namespace testbed
