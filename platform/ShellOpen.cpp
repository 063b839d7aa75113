#include "platform/ShellOpen.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QUrl>
#include <string_view>

#include "platform/Paths.h"
#include "platform/TextDecoding.h"

namespace vornakle {
namespace {

const QString kWebPrefix = QStringLiteral("www.");
constexpr char kWebScheme[] = "http://";
const QByteArray kFileScheme = QByteArrayLiteral("file://");
const QByteArray kPathCharacters = QByteArrayLiteral("/");
constexpr std::string_view kLauncherSuffix = ".desktop";
// "C:" parses as a scheme, but a scheme of one letter is a Windows drive.
constexpr qsizetype kShortestScheme = 2;

bool EndsWithLauncherSuffix(std::string_view path) {
    return path.size() >= kLauncherSuffix.size() &&
           QByteArrayView(path.substr(path.size() - kLauncherSuffix.size()))
                   .compare(QByteArrayView(kLauncherSuffix), Qt::CaseInsensitive) == 0;
}

// A local file the desktop would run: a program, or a launcher that names one.
bool IsProgramOrLauncher(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           (::access(path.c_str(), X_OK) == 0 || EndsWithLauncherSuffix(path));
}

bool IsProgramOrLauncher(const QUrl& url) {
    return url.isLocalFile() && IsProgramOrLauncher(FileNameBytes(url.toLocalFile()));
}

}  // namespace

std::optional<std::string> AddressToOpen(const std::string& url) {
    const QString text = DisplayText(url);
    // Before the scheme test: "www.x.de:8080" would parse as a scheme.
    if (text.startsWith(kWebPrefix, Qt::CaseInsensitive)) {
        if (!QUrl(QString::fromUtf8(kWebScheme) + text, QUrl::TolerantMode).isValid()) {
            return std::nullopt;
        }
        return kWebScheme + url;
    }
    if (!url.empty() && url.front() == kPathSeparator) {
        // Built from the bytes, so that a name that is no UTF-8 still names
        // its file.
        const QUrl address = QUrl::fromEncoded(
            kFileScheme + QByteArray::fromStdString(url).toPercentEncoding(kPathCharacters));
        if (!address.isValid() || IsProgramOrLauncher(url)) {
            return std::nullopt;
        }
        return address.toEncoded().toStdString();
    }
    const QUrl address(text, QUrl::TolerantMode);
    if (!address.isValid() || address.isRelative() || address.scheme().size() < kShortestScheme ||
        IsProgramOrLauncher(address)) {
        return std::nullopt;
    }
    return url;
}

}  // namespace vornakle
