#include "serverbook/ServerBook.h"

#include "serverbook/RecordDatabase.h"

namespace serverbook {

ServerBook::~ServerBook() {
    close();
}

void ServerBook::addField(const std::string& name, int type, int width) {
    fields_.push_back(FieldDef{name, type, width});
}

bool ServerBook::create(const std::string& path) {
    const bool created = RecordDatabase::create(path, fields_);
    fields_.clear();
    return created;
}

bool ServerBook::open(const std::string& path) {
    open_ = RecordDatabase::open(path);
    return open_;
}

void ServerBook::close() {
    if (open_)
        RecordDatabase::close();
    open_ = false;
}

} // namespace serverbook
