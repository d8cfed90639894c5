#include "app/displaytext.h"

#include "app/datasetentry.h"

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

void setDatasetName(DatasetEntry& entry, const QString& name)
{
    entry.fullName = name;
    entry.displayName = displayNameFromFile(name);
}

} // namespace Tessary
