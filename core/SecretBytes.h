#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>

// Wiping key material once it has been used, so that no copy of a private key
// lingers in freed memory. A buffer this value alone holds is overwritten with
// zeros where it lies (its size stays, so the wipe can be seen); a buffer
// still shared with another holder is left to that holder and only released
// here.
namespace SecretBytes {

void cleanseMemory(void* data, std::size_t size);

void cleanse(QByteArray& bytes);
void cleanse(QString& text);
// A fixed buffer, such as a read buffer on the stack.
template<std::size_t size>
void cleanse(char (&buffer)[size])
{
    cleanseMemory(buffer, size);
}

} // namespace SecretBytes
