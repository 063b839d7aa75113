#include "report/ReportForm.h"

namespace vornakle {

namespace {
constexpr int kClientWidth = 511;
constexpr int kClientHeight = 433;
}  // namespace

TReportForm::TReportForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ReportForm"));
    setWindowTitle(QStringLiteral("ReportForm"));
    resize(kClientWidth, kClientHeight);
}

}  // namespace vornakle
