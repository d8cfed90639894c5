#include "app/eventtsvwriter.h"

#include "app/datasetentry.h"
#include "app/displaytext.h"
#include "rtdc/checkedoutput.h"
#include "rtdc/exportfile.h"
#include "rtdc/rtdcreader.h"
#include "rtdc/stagedfile.h"

#include <algorithm>
#include <charconv>

namespace Tessary {

namespace {

// Rows are gathered in a buffer of about this size before they go to the stream.
constexpr std::size_t flushBytes = 1u << 20;

// The stream's default notation with 17 significant digits ("%.17g"),
// independent of any locale.
void appendValue(std::string& text, double value)
{
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 17);
    text.append(digits, result.ptr);
}

// A line for each column that ends before the last kept event, whose
// cells are blank from its end on: such a file is no plain success.
QStringList shortColumnLines(const std::vector<std::string>& features,
                             const std::vector<const std::vector<double>*>& columns, const std::vector<int>& indices)
{
    QStringList lines;
    const int last = indices.empty() ? -1 : *std::max_element(indices.begin(), indices.end());
    if (last < 0)
        return lines;
    const std::size_t needed = std::size_t(last) + 1;
    for (std::size_t j = 0; j < features.size(); ++j) {
        if (columns[j]->size() >= needed)
            continue;
        const QString line = QStringLiteral("feature \"%1\" (blank from event %2 on)")
                                 .arg(shortenedText(QString::fromStdString(features[j]), 100))
                                 .arg(columns[j]->size());
        if (!lines.contains(line))   // a feature listed twice is named once
            lines << line;
    }
    return lines;
}

} // namespace

bool sampleNameChanged(const DatasetEntry& entry)
{
    const auto sample = entry.metadata.experiment.find("sample");
    const std::string sampleName = sample != entry.metadata.experiment.end() ? sample->second : std::string();
    return entry.fullName != QString::fromStdString(sampleName);
}

std::string oneLineText(std::string text)
{
    std::replace_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n' || c == '\t'; }, ' ');
    return text;
}

ExportMessage writeEventTsv(const DatasetEntry& entry, const std::string& path,
                            const std::vector<std::string>& features, const std::vector<int>& indices,
                            const ExportProgressReport& progress)
{
    const auto failed = [&path](const FileFailure& failure) {
        return ExportMessage::fileFailure(failure, QString::fromStdString(path));
    };
    if (!entry.reader)
        return failed({FileFailure::Create, {}});
    const RTDCReader& reader = *entry.reader;
    StagedFile staged(path, ".part");
    CheckedOutput out(staged.path()); // text mode: the platform's line ends
    if (!out.isOpen())
        return failed(out.failure());

    std::string text = "# Tessary TSV Export\n";
    const auto comment = [&text](const std::string& name, const std::string& value) {
        text += "# " + oneLineText(name) + " = " + oneLineText(value) + "\n";
    };
    comment(exportDateKey, exportDateText());
    comment(exportEventCountKey, std::to_string(indices.size()));
    if (sampleNameChanged(entry))
        comment(exportChangedNameKey, entry.fullName.toStdString());
    // The source's record of an earlier export would follow this one's under
    // the same keys, and a reader where the last value wins would take it.
    for (const auto& [name, value] : entry.metadata.allAttributes)
        if (!isExportRecordKey(name))
            comment(name, value);
    text += "#\n";

    std::vector<const std::vector<double>*> columns;
    columns.reserve(features.size());
    for (std::size_t j = 0; j < features.size(); ++j) {
        if (j > 0)
            text += '\t';
        text += oneLineText(reader.featureLabel(features[j]));
        columns.push_back(&reader.readFeature(features[j]));
    }
    text += '\n';
    const QStringList shortColumns = shortColumnLines(features, columns, indices);

    for (std::size_t row = 0; row < indices.size(); ++row) {
        const int index = indices[row];
        for (std::size_t j = 0; j < columns.size(); ++j) {
            if (j > 0)
                text += '\t';
            const std::vector<double>& column = *columns[j];
            if (index >= 0 && static_cast<std::size_t>(index) < column.size())
                appendValue(text, column[static_cast<std::size_t>(index)]);
        }
        text += '\n';
        if (text.size() >= flushBytes) {
            if (!out.write(text))
                return failed(out.failure());
            text.clear();
            if (progress && !progress(double(row + 1) / double(indices.size())))
                return {};   // the unfinished file goes with `staged`
        }
    }
    out.write(text);
    if (!out.close())
        return failed(out.failure());
    if (progress && !progress(1.0))
        return {};
    std::string error;
    if (!staged.commit(error))
        return failed({FileFailure::Replace, error});
    if (!shortColumns.isEmpty())
        return ExportMessage::partsMissing(QString::fromStdString(path), shortColumns);
    return {};
}

} // namespace Tessary
