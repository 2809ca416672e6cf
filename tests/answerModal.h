#pragma once

// Answers the modal dialog that the next exec() shows: runs action on it from
// inside its event loop, as a user would act while it is open.

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>

inline void answerModal(std::function<void(QWidget *)> action)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, action = std::move(action)] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        modal->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(modal));
        action(modal);
    });
    poll->start(0);
}
