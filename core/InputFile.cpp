#include "core/InputFile.h"

QString inputFileFilter()
{
    // No space between "Index Files" and "(*.txt)": the dialog shows it so.
    return QStringLiteral("All Files (*.*)|*.*|Index Files") + QStringLiteral("(*.txt)|*.txt");
}

QString chooseInputFile(PatEdContext& ctx, bool showDialog)
{
    OpenFileDialog& dialog = ctx.ui.commonDialog();
    if (showDialog) {
        dialog.setFilter(inputFileFilter());
        dialog.setFilterIndex(2);
        if (!dialog.showOpen())
            return QString();
        return dialog.fileName();
    }
    const QString path = ctx.vars.BatchFileDir + ctx.vars.BatchFileName;
    dialog.setFileName(path);
    return path;
}

QString openInputFile(TextFile& file, const QString& path, const QString& what)
{
    QString reason;
    if (file.open(path, &reason))
        return QString();
    if (file.openFailure() == TextFile::OpenFailure::Utf16)
        return reason + QStringLiteral(" No %1 were loaded.").arg(what);
    return reason + QStringLiteral(" No %1 were loaded; check the file's folder and name and load it again.").arg(what);
}
