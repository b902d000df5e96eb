#include "app/CommonDialog1.h"

#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>

namespace {

std::optional<QString>& nextAnswer()
{
    static std::optional<QString> answer;
    return answer;
}

// Windows matches "*.*" against every name, with or without a dot; on this
// platform "*" does.
QString translatePattern(const QString& pattern)
{
    if (pattern == QLatin1String("*.*"))
        return QStringLiteral("*");
    return pattern;
}

// Icons and type names from the file names alone. Qt's own provider reads the
// start of a file to tell its type; in the database's folder that means
// opening and closing the database, its log and its index, and a close drops
// the POSIX locks that the process holds on a file. The library keeps its
// locks elsewhere, but the dialog has no reason to read what it lists.
class NameOnlyIconProvider : public QFileIconProvider {
public:
    QIcon icon(const QFileInfo& info) const override
    {
        return QFileIconProvider::icon(info.isDir() ? QFileIconProvider::Folder : QFileIconProvider::File);
    }
    QString type(const QFileInfo& info) const override
    {
        if (info.isDir())
            return QFileIconProvider::type(info);
        return QMimeDatabase().mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension).comment();
    }
    using QFileIconProvider::icon;
};

} // namespace

CommonDialog1::CommonDialog1(QWidget* owner)
    : m_owner(owner)
{
}

QStringList CommonDialog1::nameFilters(const QString& filter)
{
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts.at(i);
        QStringList patterns;
        for (const QString& pattern : parts.at(i + 1).split(QLatin1Char(';'))) {
            const QString trimmed = pattern.trimmed();
            if (!trimmed.isEmpty())
                patterns.append(translatePattern(trimmed));
        }
        if (patterns.isEmpty())
            patterns.append(QStringLiteral("*"));
        patterns.removeDuplicates();
        result.append(QStringLiteral("%1 (%2)").arg(description, patterns.join(QLatin1Char(' '))));
    }
    return result;
}

int CommonDialog1::selectedEntry(int filterIndex, int count)
{
    if (filterIndex < 1 || filterIndex > count)
        return 0;
    return filterIndex - 1;
}

void CommonDialog1::setNextAnswer(std::optional<QString> answer) { nextAnswer() = std::move(answer); }

bool CommonDialog1::showOpen()
{
    if (auto& answer = nextAnswer(); answer) {
        m_fileName = *answer;
        answer.reset();
        return !m_fileName.isEmpty();
    }

    QFileDialog dialog(m_owner);
    NameOnlyIconProvider icons;
    dialog.setIconProvider(&icons);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // The filter list shows the descriptions only, as they were written.
    dialog.setOption(QFileDialog::HideNameFilterDetails);

    const QStringList filters = nameFilters(m_filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.at(selectedEntry(m_filterIndex, static_cast<int>(filters.size()))));
    }

    if (!m_fileName.isEmpty()) {
        const QFileInfo current(m_fileName);
        dialog.setDirectory(current.absolutePath());
        dialog.selectFile(current.fileName());
    }

    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        m_fileName.clear();
        return false;
    }
    m_fileName = QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
    return true;
}
