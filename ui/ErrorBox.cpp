#include "ErrorBox.h"

#include "ConstantsAndTypes.h"

#include <QApplication>
#include <QMessageBox>

#include <exception>

namespace ErrorBox {

void show(const QString &message, QWidget *parent)
{
    QApplication::beep();
    QMessageBox box(QMessageBox::Critical, QApplication::translate("ErrorBox", "Error"), message,
                    QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("ErrorMessageBox"));
    box.exec();
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

} // namespace ErrorBox
