#pragma once

#include <QApplication>
#include <QTranslator>
#include <exception>
#include <utility>

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
// the toolkit's frames. Signals reach their handlers through ConnectGuarded;
// event filters and callbacks call it themselves.
template <typename Handler>
void GuardHandler(Handler&& handler) noexcept {
    try {
        handler();
    } catch (...) {
        ReportException(std::current_exception());
    }
}

// Connects signal to a handler that runs inside GuardHandler. The handler
// takes as many of the signal's first arguments as it names, none included;
// the connection ends with the context object:
//   ConnectGuarded(header, &QHeaderView::sectionClicked, this,
//                  [this](int column) { LVListColumnClick(column); });
template <typename Sender, typename Signal, typename Handler>
QMetaObject::Connection ConnectGuarded(const Sender* sender, Signal signal, const QObject* context,
                                       Handler handler) {
    // The toolkit passes a slot as many arguments as it accepts: the wrapper
    // accepts exactly the argument lists the handler does.
    return QObject::connect(sender, signal, context,
                            [handler = std::move(handler)](auto&&... arguments)
                                -> decltype(std::declval<const Handler&>()(arguments...), void()) {
                                GuardHandler([&] { handler(arguments...); });
                            });
}

// The same for a member function of receiver that takes no arguments:
//   ConnectGuarded(button, &QPushButton::clicked, this, &TMainForm::BVerifyOneClick);
template <typename Sender, typename Signal, typename Receiver>
QMetaObject::Connection ConnectGuarded(const Sender* sender, Signal signal, Receiver* receiver,
                                       void (Receiver::*handler)()) {
    return ConnectGuarded(sender, signal, receiver,
                          [receiver, handler] { (receiver->*handler)(); });
}

}  // namespace vornakle
