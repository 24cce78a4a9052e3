#include "app/widget_dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QStringList>

#include <algorithm>

namespace vantor::app {

namespace {

// Room that a title bar takes besides the title: the window's icon and buttons.
constexpr int kTitleBarButtons = 140;

QString proposedPath(const platform::FileDialogRequest& request)
{
    const QString folder = QString::fromStdString(request.folder);
    const QString name = QString::fromStdString(request.proposedName);
    // A wildcard name only narrows the list, which the filter already does.
    if (name.isEmpty() || name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?'))) return folder;
    return QDir(folder).filePath(name);
}

std::optional<platform::ChosenFile> chosen(const QString& path)
{
    if (path.isEmpty()) return std::nullopt;
    return platform::ChosenFile{path.toStdString(), QFileInfo(path).fileName().toStdString()};
}

}  // namespace

QString toQtFilter(const std::string& filter)
{
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList pairs;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // A description that ends with its pattern in brackets ("Files txt(*.txt)") would
        // show it twice: Qt's dialogs add the pattern themselves.
        QString description = parts[i];
        if (description.endsWith(QLatin1Char(')')) && description.contains(QLatin1Char('('))) {
            description.truncate(description.lastIndexOf(QLatin1Char('(')));
        }
        pairs << description.trimmed() + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return pairs.join(QStringLiteral(";;"));
}

QString defaultSuffixOf(const QString& qtFilter)
{
    const qsizetype open = qtFilter.lastIndexOf(QLatin1Char('('));
    if (open < 0 || !qtFilter.endsWith(QLatin1Char(')'))) return {};
    const QString pattern = qtFilter.mid(open + 1, qtFilter.size() - open - 2);
    if (!pattern.startsWith(QStringLiteral("*.")) || pattern.size() < 3) return {};
    const QString suffix = pattern.mid(2);
    for (const QChar c : suffix) {
        if (!c.isLetterOrNumber()) return {};
    }
    return suffix;
}

QString toDisplayText(const std::string& text)
{
    QString display = QString::fromStdString(text);
    display.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    display.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return display;
}

std::optional<platform::ChosenFile> WidgetDialogs::openFile(const platform::FileDialogRequest& request)
{
    return chosen(QFileDialog::getOpenFileName(QApplication::activeWindow(), QString::fromStdString(request.title),
                                               proposedPath(request), toQtFilter(request.filter)));
}

std::optional<platform::ChosenFile> WidgetDialogs::saveFile(const platform::FileDialogRequest& request)
{
    const QFileDialog::Options options =
        request.confirmOverwrite ? QFileDialog::Options() : QFileDialog::DontConfirmOverwrite;
    QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(request.title), proposedPath(request),
                       toQtFilter(request.filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOptions(options);
    // A name typed without an ending gets the chosen filter's, so that the kind of file chosen
    // is the kind written (callers tell the kind by the name's ending); the dialog asks before
    // replacing a file of the completed name.
    const auto followFilter = [&dialog](const QString& filter) { dialog.setDefaultSuffix(defaultSuffixOf(filter)); };
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, followFilter);
    followFilter(dialog.selectedNameFilter());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return chosen(dialog.selectedFiles().front());
}

std::optional<platform::ChosenFile> WidgetDialogs::chooseFolder(const platform::FileDialogRequest& request)
{
    QString folder = QFileDialog::getExistingDirectory(QApplication::activeWindow(),
                                                       QString::fromStdString(request.title),
                                                       QString::fromStdString(request.folder), QFileDialog::Options());
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) folder.chop(1);
    return chosen(folder);
}

QWidget* WidgetMessageBox::parent() const { return m_owner ? m_owner->window() : QApplication::activeWindow(); }

void WidgetMessageBox::showMessage(const std::string& text, const std::string& title, platform::MessageIcon icon)
{
    QMessageBox box(parent());
    box.setWindowTitle(QString::fromStdString(title));
    box.setText(toDisplayText(text));
    box.setTextFormat(Qt::PlainText);
    box.setIcon(icon == platform::MessageIcon::Information ? QMessageBox::Information
                : icon == platform::MessageIcon::Warning   ? QMessageBox::Warning
                                                           : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

bool WidgetMessageBox::askYesNo(const std::string& text, const std::string& title)
{
    QMessageBox box(parent());
    box.setWindowTitle(QString::fromStdString(title));
    box.setText(toDisplayText(text));
    box.setTextFormat(Qt::PlainText);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> WidgetInputBox::ask(const std::string& prompt, const std::string& title,
                                               const std::string& defaultText)
{
    QInputDialog box(QApplication::activeWindow());
    box.setWindowTitle(QString::fromStdString(title));
    box.setLabelText(toDisplayText(prompt));
    box.setTextValue(QString::fromStdString(defaultText));
    // Wide enough that a title bar shows the whole title beside its buttons.
    const QSize natural = box.sizeHint();
    box.resize(std::max(natural.width(), box.fontMetrics().horizontalAdvance(box.windowTitle()) + kTitleBarButtons),
               natural.height());
    if (box.exec() != QDialog::Accepted) return std::nullopt;
    return box.textValue().toStdString();
}

}  // namespace vantor::app
