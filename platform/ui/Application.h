#pragma once

#include <QApplication>
#include <QTranslator>
#include <exception>

namespace vornakle {

// The application object. Its notify is the one place where an exception that
// escaped an event handler ends: the user sees its text in the error report and
// the program goes on with the next event. It is the safety net, not the
// rule: an exception unwinding from a slot through the widgets' own frames
// skips their clean-up (the toolkit is not built for exceptions), so slots of
// widgets run their handler inside GuardHandler.
class TApplication : public QApplication {
    Q_OBJECT

public:
    TApplication(int& argc, char** argv);
    ~TApplication() override;

    bool notify(QObject* receiver, QEvent* event) override;

private:
    // German texts for the toolkit's own dialogs, where the system has them.
    QTranslator toolkitTranslator_;
};

// The error report: shows the exception's message in an error box through the
// installed dialogs. Never throws.
void ReportException(std::exception_ptr exception) noexcept;

// Runs a handler and reports whatever it throws, so that no exception reaches
// the toolkit's frames:
//   connect(button, &QPushButton::clicked, this,
//           [this] { GuardHandler([this] { BVerifyOneClick(); }); });
template <typename Handler>
void GuardHandler(Handler&& handler) noexcept {
    try {
        handler();
    } catch (...) {
        ReportException(std::current_exception());
    }
}

}  // namespace vornakle
