#include <gtest/gtest.h>

#include "store/LinkStatus.h"

namespace vornakle {
namespace {

struct StatusCase {
    LinkStatus status;
    int image;
    const char* text;
};

constexpr auto Reply = &LinkStatus::Reply;

TEST(LinkStatusTest, ImageAndTextTables) {
    const StatusCase cases[] = {
        {kStatusNotTested, kImageNotTested, ""},
        {kStatusOkByHand, kImageOk, ""},
        {kStatusInvalidByHand, kImageInvalid, ""},
        {kStatusBeingTested, kImageBeingTested, ""},
        {kStatusUnknown, kImageUnknown, ""},
        {Reply(200), kImageOk, "OK"},
        {Reply(201), kImageUnknown, "Erstellt"},
        {Reply(202), kImageUnknown, "Akzeptiert"},
        {Reply(206), kImageUnknown, "Partielle Information"},
        {Reply(301), kImageInvalid, "Verzogen"},
        {Reply(302), kImageOk, "Gefunden"},
        {Reply(304), kImageOk, "Nicht geändert"},
        {Reply(400), kImageUnknown, "Fehlerhafte Anfrage"},
        {Reply(401), kImageInvalid, "Nicht autorisiert"},
        {Reply(403), kImageInvalid, "Verboten"},
        {Reply(404), kImageInvalid, "Nicht gefunden"},
        {Reply(500), kImageInvalid, "Interner Fehler"},
        {Reply(501), kImageInvalid, "Nicht implementiert"},
        {Reply(502), kImageUnknown, "Gateway-Zeitüberschreitung"},
        {Reply(503), kImageUnknown, "Vorübergehend nicht verfügbar"},
        {Reply(504), kImageUnknown, "Unbekannt"},
        {Reply(303), kImageUnknown, "Unbekannt"},
        {Reply(999), kImageUnknown, "Unbekannt"},
        {Reply(-1), kImageUnknown, "Unbekannt"},
    };
    for (const StatusCase& item : cases) {
        SCOPED_TRACE(item.status.Shown());
        EXPECT_EQ(StatusImageIndex(item.status), item.image);
        EXPECT_EQ(StatusText(item.status), item.text);
    }
}

TEST(LinkStatusTest, FineLinksAreExactlyThoseWithTheOkImage) {
    // As stored: the numbers 1 to 5 are read back as the own codes.
    for (int status : {2, 200, 302, 304}) {
        EXPECT_TRUE(IsLinkFine(LinkStatus::FromStored(status))) << status;
    }
    for (int status : {1, 3, 4, 5, 201, 301, 404, 504}) {
        EXPECT_FALSE(IsLinkFine(LinkStatus::FromStored(status))) << status;
    }
    EXPECT_FALSE(IsLinkFine(LinkStatus::Reply(2)));
}

}  // namespace
}  // namespace vornakle
