#include "ErrorBox.h"

#include "ConstantsAndTypes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <exception>

namespace ErrorBox {

namespace {

int g_beeps = 0;

void showBox(const QString &message, QWidget *parent)
{
    QMessageBox box(QMessageBox::Critical, QApplication::translate("ErrorBox", "Error"), message,
                    QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("ErrorMessageBox"));
    makeWindowModal(&box);
    box.exec();
}

} // namespace

void show(const QString &message, QWidget *parent)
{
    ++g_beeps;
    QApplication::beep();
    showBox(message, parent);
}

void showCheckFailure(const QString &message, QWidget *parent)
{
    showBox(message, parent);
}

void makeWindowModal(QWidget *dialog)
{
    if (!dialog->parentWidget())
        return; // nothing to be modal to: application-modal as before
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

int beepCount()
{
    return g_beeps;
}

void showCurrentException(QWidget *parent)
{
    QString message;
    try {
        throw;
    } catch (const QorLogError &error) {
        message = error.message();
    } catch (const std::exception &error) {
        message = QString::fromLocal8Bit(error.what());
    } catch (...) {
        message = QApplication::translate("ErrorBox", "An unknown error occurred");
    }
    show(message, parent);
}

QList<QPushButton *> addButtonsInOrder(QMessageBox &box,
                                       const QList<std::pair<QString, QString>> &captionsAndNames)
{
    QList<QPushButton *> buttons;
    for (const auto &[caption, name] : captionsAndNames) {
        buttons.append(box.addButton(caption, QMessageBox::ActionRole));
        buttons.last()->setObjectName(name);
    }
    box.setDefaultButton(buttons.last());
    box.setEscapeButton(buttons.last());
    return buttons;
}

void showNotice(QWidget *parent, const QString &name, const QString &text)
{
    if (text.isEmpty())
        return;
    auto *box = parent->findChild<QMessageBox *>(name, Qt::FindDirectChildrenOnly);
    if (!box) {
        box = new QMessageBox(QMessageBox::Information,
                              QCoreApplication::translate("ErrorBox", "QorLog"), QString(),
                              QMessageBox::Ok, parent);
        box->setObjectName(name);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setAttribute(Qt::WA_ShowWithoutActivating);
        box->setWindowModality(Qt::NonModal);
    }
    box->setText(text);
    box->show();
}

} // namespace ErrorBox
