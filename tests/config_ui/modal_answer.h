// Answers the next modal dialog a test opens: once a modal widget shows, `answer` gets it
// (the dialog's exec() is running and waits for it to press a button or accept).
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace quovis::testing {

inline void AnswerNextModal(std::function<void(QWidget*)> answer) {
    auto* poll = new QTimer;
    poll->setInterval(5);
    auto remaining = std::make_shared<int>(2000);  // about ten seconds of polls
    QObject::connect(poll, &QTimer::timeout, [poll, answer = std::move(answer), remaining] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr && --*remaining > 0) return;
        poll->stop();
        poll->deleteLater();
        if (modal != nullptr) answer(modal);
    });
    poll->start();
}

}  // namespace quovis::testing
