#pragma once
// Field values in their record form: encoding a value into a record buffer and
// decoding a field's bytes to text.
#include <string>

#include "serverbook/DbFormat.h"
#include "serverbook/DbTypes.h"

namespace serverbook {

// Writes the value into its place in the record; the record must hold the
// field. Returns 0, or -72 when the value does not suit the field's type.
int encodeValue(const FieldDescriptor& field, const FieldValue& value, char* record);

// The field's value as UTF-8 text, from its bytes (field.size() of them).
std::string decodeField(const FieldDescriptor& field, const char* value);

// Stores GB18030 text into a field of the given width: the bytes and their
// NUL cut to the width; bytes after the NUL keep what was there.
void storeText(const std::string& bytes, int width, char* place);

} // namespace serverbook
