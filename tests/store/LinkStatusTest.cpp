#include <gtest/gtest.h>

#include "store/LinkStatus.h"

namespace vornakle {
namespace {

struct StatusCase {
    int status;
    int image;
    const char* text;
};

TEST(LinkStatusTest, ImageAndTextTables) {
    const StatusCase cases[] = {
        {1, kImageNotTested, ""},
        {2, kImageOk, ""},
        {3, kImageInvalid, ""},
        {4, kImageBeingTested, ""},
        {5, kImageUnknown, ""},
        {200, kImageOk, "OK"},
        {201, kImageUnknown, "Erstellt"},
        {202, kImageUnknown, "Akzeptiert"},
        {206, kImageUnknown, "Partielle Information"},
        {301, kImageInvalid, "Verzogen"},
        {302, kImageOk, "Gefunden"},
        {304, kImageOk, "Nicht geändert"},
        {400, kImageUnknown, "Fehlerhafte Anfrage"},
        {401, kImageInvalid, "Nicht autorisiert"},
        {403, kImageInvalid, "Verboten"},
        {404, kImageInvalid, "Nicht gefunden"},
        {500, kImageInvalid, "Interner Fehler"},
        {501, kImageInvalid, "Nicht implementiert"},
        {502, kImageUnknown, "Gateway-Zeitüberschreitung"},
        {503, kImageUnknown, "Vorübergehend nicht verfügbar"},
        {504, kImageUnknown, "Unbekannt"},
        {303, kImageUnknown, "Unbekannt"},
        {999, kImageUnknown, "Unbekannt"},
        {-1, kImageUnknown, "Unbekannt"},
    };
    for (const StatusCase& item : cases) {
        SCOPED_TRACE(item.status);
        EXPECT_EQ(StatusImageIndex(item.status), item.image);
        EXPECT_EQ(StatusText(item.status), item.text);
    }
}

TEST(LinkStatusTest, FineLinksAreExactlyThoseWithTheOkImage) {
    for (int status : {2, 200, 302, 304}) {
        EXPECT_TRUE(IsLinkFine(status)) << status;
    }
    for (int status : {1, 3, 4, 5, 201, 301, 404, 504}) {
        EXPECT_FALSE(IsLinkFine(status)) << status;
    }
}

}  // namespace
}  // namespace vornakle
