#include "desktop/qt/messages.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace quillon {

namespace {
MessageBoxes gScreenBoxes;
MessageBoxes* gBoxes = nullptr;
} // namespace

void MessageBoxes::Show(QWidget* parent, const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Quillon"), QString::fromStdString(text),
                    QMessageBox::Ok, parent);
    // Messages can carry file names and typed text: shown as they are, never as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

Answer MessageBoxes::Ask(QWidget* parent, const std::string& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Quillon"), QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

bool MessageBoxes::AskYesNo(QWidget* parent, const std::string& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Quillon"), QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::string MessageBoxes::AskSaveFileName(QWidget* parent, const std::string& caption,
                                          const std::string& suggested, const std::string& filter) {
    return QFileDialog::getSaveFileName(parent, QString::fromStdString(caption),
                                        QString::fromStdString(suggested),
                                        QString::fromStdString(filter))
        .toStdString();
}

MessageBoxes& Messages() {
    return gBoxes != nullptr ? *gBoxes : gScreenBoxes;
}

void SetMessageBoxes(MessageBoxes* boxes) {
    gBoxes = boxes;
}

} // namespace quillon
