#pragma once

#include <QByteArray>
#include <QString>

// Wiping key material once it has been used, so that no copy of a private key
// lingers in freed memory. A buffer this value alone holds is overwritten with
// zeros where it lies (its size stays, so the wipe can be seen); a buffer
// still shared with another holder is left to that holder and only released
// here.
namespace SecretBytes {

void cleanse(QByteArray& bytes);
void cleanse(QString& text);

} // namespace SecretBytes
