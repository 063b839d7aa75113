#pragma once

#include <QDialog>

namespace vornakle {

// The report window: every link of the collection that is not fine. Made
// once at start-up and shown modally over the main window by "Show &Report".
class TReportForm : public QDialog {
    Q_OBJECT

public:
    explicit TReportForm(QWidget* parent = nullptr);
};

}  // namespace vornakle
