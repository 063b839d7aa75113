#pragma once

#include <QCollator>
#include <QLocale>
#include <QString>
#include <string>
#include <utility>

namespace vornakle {

// A precomputed collation key. Sorting a long list compares keys, which is a
// plain byte comparison, instead of running the full collation algorithm on
// both texts for every one of the n log n comparisons.
class CollationKey {
public:
    // Negative, zero or positive, in the order of the collation that made both
    // keys. Keys of different collations must not be compared.
    int Compare(const CollationKey& other) const;

    bool operator<(const CollationKey& other) const { return Compare(other) < 0; }

private:
    friend class Collation;
    explicit CollationKey(QCollatorSortKey key) : key_(std::move(key)) {}

    QCollatorSortKey key_;
};

// Locale-aware, case-sensitive text order: the order a user of the locale
// expects in a sorted list ("apfel" before "Banane", umlauts beside their base
// letters). Byte strings are decoded the way the windows show them
// (DisplayText), so the order is the one the user sees.
class Collation {
public:
    explicit Collation(const QLocale& locale);

    // -1, 0 or +1.
    int Compare(const std::string& first, const std::string& second) const;
    int Compare(const QString& first, const QString& second) const;

    // Key(a).Compare(Key(b)) has the sign of Compare(a, b).
    CollationKey Key(const std::string& text) const;
    CollationKey Key(const QString& text) const;

    QLocale Locale() const { return collator_.locale(); }

private:
    QCollator collator_;
    bool isPlainLocale_;
};

// The locale whose collation the user's lists follow: the system's, or the
// program's own language, German, where the environment names no real locale
// (C or POSIX: a minimal system, a service), whose "collation" is the order
// of the bytes and puts "Zeta" before "apfel".
QLocale CollationLocale(const QLocale& system);

// The collation of CollationLocale(QLocale::system()), made once per thread
// (a collator keeps lazily built state and is not safe to share between
// threads).
const Collation& SystemCollation();

// The system's string comparison for the user's default locale without flags:
// what both the list ordering and the folder tree's alphabetical sort use.
// -1, 0 or +1.
int CompareStringLocale(const std::string& first, const std::string& second);

}  // namespace vornakle
