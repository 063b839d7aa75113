#include "platform/Collation.h"

#include "platform/TextDecoding.h"

namespace vornakle {
namespace {

int Sign(int value) {
    return (value > 0) - (value < 0);
}

}  // namespace

int CollationKey::Compare(const CollationKey& other) const {
    return Sign(key_.compare(other.key_));
}

Collation::Collation(const QLocale& locale)
    : collator_(locale), isPlainLocale_(locale.language() == QLocale::C) {
    // Windows' comparison without flags tells "a" from "A"; numbers are
    // compared digit by digit, and punctuation counts.
    collator_.setCaseSensitivity(Qt::CaseSensitive);
    collator_.setNumericMode(false);
    collator_.setIgnorePunctuation(false);
}

int Collation::Compare(const std::string& first, const std::string& second) const {
    return Compare(DisplayText(first), DisplayText(second));
}

int Collation::Compare(const QString& first, const QString& second) const {
    if (isPlainLocale_) {
        // The toolkit compares the C locale's texts by UTF-16 units but keys
        // them by UTF-8 bytes, which disagree beyond U+FFFF: compare what the
        // keys hold, the code points, so a keyed sort and this comparison
        // agree.
        return Sign(first.toUtf8().compare(second.toUtf8()));
    }
    return Sign(collator_.compare(first, second));
}

CollationKey Collation::Key(const std::string& text) const {
    return Key(DisplayText(text));
}

CollationKey Collation::Key(const QString& text) const {
    return CollationKey(collator_.sortKey(text));
}

QLocale CollationLocale(const QLocale& system) {
    if (system.language() == QLocale::C) {
        return QLocale(QLocale::German, QLocale::Germany);
    }
    return system;
}

const Collation& SystemCollation() {
    thread_local const Collation collation(CollationLocale(QLocale::system()));
    return collation;
}

int CompareStringLocale(const std::string& first, const std::string& second) {
    return SystemCollation().Compare(first, second);
}

}  // namespace vornakle
