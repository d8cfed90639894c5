#include "app/filtergroupfile.h"

#include "app/displaytext.h"
#include "app/sessionfile.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace Tessary {

QJsonObject filterGroupsFileObject(const std::vector<const FilterGroup*>& groups)
{
    QJsonArray array;
    for (const FilterGroup* group : groups)
        array.append(serializeGroup(*group, false));
    return QJsonObject{{QStringLiteral("formatVersion"), 1}, {QStringLiteral("groups"), array}};
}

std::optional<std::vector<FilterGroup>> parseFilterGroupsFile(const QByteArray& bytes, QString* parseError,
                                                              int* unreadableRules)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (parseError)
        *parseError = error.errorString();
    if (document.isNull() || !document.isObject())
        return std::nullopt;
    std::vector<FilterGroup> groups;
    // Only "name" and "rules" are read: files of any format version read alike.
    if (unreadableRules)
        *unreadableRules = 0;
    for (const QJsonValue& value : document.object().value(QStringLiteral("groups")).toArray()) {
        if (unreadableRules)
            *unreadableRules += countUnreadableRules(value.toObject().value(QStringLiteral("rules")));
        FilterGroup group = deserializeGroup(value.toObject());
        group.id = -1;
        for (FilterRule& rule : group.rules)
            rule.propagationId.clear();
        groups.push_back(std::move(group));
    }
    return groups;
}

TakenGroupNames takenGroupNames(const std::vector<std::unique_ptr<FilterGroup>>& groups)
{
    TakenGroupNames taken;
    for (const auto& group : groups)
        taken.names.insert(group->name);
    return taken;
}

std::string uniqueGroupName(const std::string& base, TakenGroupNames& taken)
{
    const std::string stem = base.empty() ? std::string("Imported group") : base;
    std::string name = stem;
    if (taken.names.count(name) > 0) {
        int& counter = taken.nextCounter.try_emplace(stem, 2).first->second;
        do
            name = stem + " (" + std::to_string(counter++) + ")";
        while (taken.names.count(name) > 0);
    }
    taken.names.insert(name);
    return name;
}

std::vector<int> chooseFilterGroupsToExport(QWidget* parent, const std::vector<std::unique_ptr<FilterGroup>>& groups)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Export Filter Groups"));
    dialog.resize(360, 360);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Select groups to export:")));
    auto* list = new QListWidget;
    for (const auto& group : groups) {
        // A name from a file may be a megabyte long: the list shows it cut.
        auto* item = new QListWidgetItem(shortenedText(QString::fromStdString(group->name), kMaxDisplayNameLength), list);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
        item->setData(Qt::UserRole, group->id);
    }
    layout->addWidget(list, 1);
    auto* selectRow = new QHBoxLayout;
    auto* selectAll = new QPushButton(QStringLiteral("Select All"));
    auto* selectNone = new QPushButton(QStringLiteral("Select None"));
    selectRow->addWidget(selectAll);
    selectRow->addWidget(selectNone);
    selectRow->addStretch(1);
    layout->addLayout(selectRow);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(buttons);

    const auto setAll = [list](Qt::CheckState state) {
        for (int i = 0; i < list->count(); ++i)
            list->item(i)->setCheckState(state);
    };
    const auto checkedIds = [list] {
        std::vector<int> ids;
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->checkState() == Qt::Checked)
                ids.push_back(list->item(i)->data(Qt::UserRole).toInt());
        return ids;
    };
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    const auto updateOk = [ok, checkedIds] { ok->setEnabled(!checkedIds().empty()); };
    QObject::connect(selectAll, &QPushButton::clicked, &dialog, [setAll] { setAll(Qt::Checked); });
    QObject::connect(selectNone, &QPushButton::clicked, &dialog, [setAll] { setAll(Qt::Unchecked); });
    QObject::connect(list, &QListWidget::itemChanged, &dialog, updateOk);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    updateOk();

    if (dialog.exec() != QDialog::Accepted)
        return {};
    return checkedIds();
}

} // namespace Tessary
