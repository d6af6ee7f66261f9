#include "testbed/variant/Records.h"

#include <mutex>

namespace testbed {
namespace variant {
namespace {

struct Book {
    std::mutex lock;
    std::vector<std::string> launches;
    std::vector<std::string> deviceActions;
    std::string serviceSecurity;
};

// Built on first use, never destroyed: recorders may run on any thread up to the process's end.
Book& TheBook()
{
    static Book* book = new Book;
    return *book;
}

void Add(std::vector<std::string> Book::*list, std::string line)
{
    // One record is one line of the reply.
    for (char& c : line)
        if (c == '\n' || c == '\r')
            c = ' ';
    Book& book = TheBook();
    std::lock_guard<std::mutex> hold(book.lock);
    (book.*list).push_back(std::move(line));
}

std::vector<std::string> Copy(std::vector<std::string> Book::*list)
{
    Book& book = TheBook();
    std::lock_guard<std::mutex> hold(book.lock);
    return book.*list;
}

}  // namespace

void RecordLaunch(std::string line) { Add(&Book::launches, std::move(line)); }
void RecordDeviceAction(std::string line) { Add(&Book::deviceActions, std::move(line)); }
void RecordServiceSecurity(std::string sddl)
{
    Book& book = TheBook();
    std::lock_guard<std::mutex> hold(book.lock);
    book.serviceSecurity = std::move(sddl);
}

std::string RecordedServiceSecurity()
{
    Book& book = TheBook();
    std::lock_guard<std::mutex> hold(book.lock);
    return book.serviceSecurity;
}

std::vector<std::string> RecordedLaunches() { return Copy(&Book::launches); }
std::vector<std::string> RecordedDeviceActions() { return Copy(&Book::deviceActions); }

}  // namespace variant
}  // namespace testbed
