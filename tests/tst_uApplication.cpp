#include "mainwindow/uApplication.h"

#include "elevation/uBILTypes.h"
#include "tests/answerModal.h"

#include <QMessageBox>

#include <new>

// What a command throws reaches the user as a sentence, never as a type name.
TEST(ApplicationErrors, ACommandsFailureIsShownInWords)
{
    const struct
    {
        const char *name;
        std::function<void()> work;
        QString shown;
    } cases[] = {
        {"the core's error", [] { throw BILError("Cannot read \"a%1.bil\"."); },
         "Cannot read \"a%1.bil\"."},
        {"out of memory", [] { throw std::bad_alloc(); },
         "Not enough memory to finish this command."},
        {"anything else", [] { throw 42; }, "An unexpected error occurred."},
    };
    for (const auto &c : cases) {
        QString shown;
        answerModal([&](QWidget *modal) {
            shown = qobject_cast<QMessageBox *>(modal)->text();
            modal->close();
        });
        TApplication::ReportErrors(c.work);
        EXPECT_EQ(shown, c.shown) << c.name;
    }
}
