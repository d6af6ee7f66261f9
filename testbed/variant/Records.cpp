#include "testbed/variant/Records.h"

#include <mutex>

namespace testbed {
namespace variant {
namespace {

struct Book {
    std::mutex lock;
    std::string serviceSecurity;
};

// Built on first use, never destroyed: recorders may run on any thread up to the process's end.
Book& TheBook()
{
    static Book* book = new Book;
    return *book;
}

}  // namespace

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

}  // namespace variant
}  // namespace testbed
