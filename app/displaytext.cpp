#include "app/displaytext.h"

namespace Tessary {

QString shortenedText(const QString& text, int maximumLength)
{
    if (text.size() <= maximumLength)
        return text;
    qsizetype keep = qMax(0, maximumLength - 1);
    if (keep > 0 && text.at(keep - 1).isHighSurrogate())
        --keep;
    return text.left(keep) + QChar(0x2026);
}

QString displayNameFromFile(const QString& name)
{
    return shortenedText(name, kMaxDisplayNameLength);
}

} // namespace Tessary
