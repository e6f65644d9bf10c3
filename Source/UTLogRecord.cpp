// The record text of the file sink (see UTLogRecordInternal.h).
#include "UTLogRecordInternal.h"

#include <I18NText.h>

void RecordBuffer::grow(std::size_t length) {
    std::size_t capacity = f_capacity;
    while (capacity - f_size < length) {
        capacity *= 2;
    }
    std::unique_ptr<char[]> data(new char[capacity]);
    std::memcpy(data.get(), f_data, f_size);
    f_heap = std::move(data);
    f_data = f_heap.get();
    f_capacity = capacity;
}

void RecordBuffer::appendUtf8(const char32_t* from, const char32_t* to) {
    // Four bytes per code point and the encoder's one spare byte fit without a length pass;
    // otherwise the pass keeps a long ASCII text in the buffer's own bytes.
    const std::size_t bound = static_cast<std::size_t>(to - from) * 4 + 1;
    reserveMore(f_capacity - f_size >= bound ? bound : i18n::utf8Size(from, to) + 1);
    f_size = static_cast<std::size_t>(i18n::writeUtf8(from, to, f_data + f_size) - f_data);
}

void ComposeRecordText(RecordBuffer& out,
                       const I18NString& message,
                       const I18NString* const* parameters,
                       int parameterCount) {
    const std::u32string& text = message.codePoints();
    const char32_t* const end = text.data() + text.size();
    const char32_t* copied = text.data();
    if (parameterCount > 0) {
        int index = 0;
        for (const char32_t* at = i18n::nextPlaceholder(copied, end, index); at != end;
             at = i18n::nextPlaceholder(copied, end, index)) {
            out.appendUtf8(copied, at);
            if (index < parameterCount) {
                const std::u32string& value = parameters[index]->codePoints();
                out.appendUtf8(value.data(), value.data() + value.size());
            }
            copied = at + 3;
        }
    }
    out.appendUtf8(copied, end);
    out.append('\n', 1);
}
