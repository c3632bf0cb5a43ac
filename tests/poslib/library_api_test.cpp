// The library's calls where no printer answers: handles, arguments, ports that cannot open.
#include "poslib/library_error.h"
#include "poslib/posnet.h"
#include "support/posnet_client.h"

#include <cstring>
#include <gtest/gtest.h>
#include <set>

using namespace poslib;

namespace {

bool isUtf8Lead(unsigned char byte) {
    return byte >= 0xC2 && byte <= 0xF4;
}
bool isContinuation(unsigned char byte) {
    return byte >= 0x80 && byte <= 0xBF;
}

// Windows-1250 Polish text never has a UTF-8 lead byte followed by a continuation byte
// ("ż" would be C5 BC); a text written in UTF-8 by mistake always does.
bool looksLikeUtf8(const char* text) {
    for (std::size_t i = 0; text[i] != '\0' && text[i + 1] != '\0'; ++i) {
        if (isUtf8Lead(static_cast<unsigned char>(text[i])) &&
            isContinuation(static_cast<unsigned char>(text[i + 1]))) {
            return true;
        }
    }
    return false;
}

} // namespace

TEST(ErrorTexts, DescribeLineLossInWindows1250) {
    EXPECT_STREQ(POS_GetErrorString(8, "pl"), "Utracono po\xB3\xB9"
                                              "czenie z drukark\xB9");
}

TEST(ErrorTexts, CoverThePrintersNumbersAndTheLibrarysCodes) {
    for (POSNET_STATUS code :
         {1,     2,     3,     4,     5,     6,     10,    11,    12,    13,
          14,    15,    382,   1992,  2000,  2005,  2006,  2007,  2008,  2009,
          2010,  2038,  2041,  2054,  2060,  2104,  2705,  2805,  2808,  8,
          10001, 10002, 10003, 10004, 10005, 10006, 10007, 10008, 10009, 10010}) {
        const char* text = POS_GetErrorString(code, "pl");
        ASSERT_NE(text, nullptr) << code;
        EXPECT_GT(std::strlen(text), 5u) << code;
        EXPECT_FALSE(looksLikeUtf8(text)) << code;
    }
}

TEST(ErrorTexts, AreNullForAnUnknownCode) {
    EXPECT_EQ(POS_GetErrorString(0, "pl"), nullptr);
    EXPECT_EQ(POS_GetErrorString(7, "pl"), nullptr);
    EXPECT_EQ(POS_GetErrorString(4242, "pl"), nullptr);
}

TEST(Handles, AreNeverZeroAndNeverShared) {
    std::set<POSNET_HANDLE> handles;
    for (int i = 0; i < 50; ++i) {
        const POSNET_HANDLE handle = POS_CreateDeviceHandle(1);
        EXPECT_NE(handle, 0u);
        EXPECT_TRUE(handles.insert(handle).second);
    }
    for (POSNET_HANDLE handle : handles) {
        EXPECT_EQ(POS_DestroyDeviceHandle(handle), 0);
    }
}

TEST(Handles, OfTheWrongKindOrUnknownAreRefused) {
    const POSNET_HANDLE handle = POS_CreateDeviceHandle(1);
    EXPECT_EQ(POS_CreateRequest(handle, "sid"), 0u);
    EXPECT_EQ(POS_PostRequest(handle, 0), InvalidHandle);
    EXPECT_EQ(POS_CloseDevice(handle), InvalidHandle);
    EXPECT_EQ(POS_DestroyDeviceHandle(handle), 0);
    EXPECT_EQ(POS_DestroyDeviceHandle(handle), InvalidHandle);
    EXPECT_EQ(POS_GetError(handle), InvalidHandle);
    EXPECT_EQ(POS_GetRequestStatus(0), InvalidHandle);
    EXPECT_EQ(POS_GetResponseValueCount(0), 0u);
}

TEST(DeviceParameters, AcceptTheProgramsSettingsAndQueueLength) {
    const POSNET_HANDLE handle = POS_CreateDeviceHandle(1);
    char settings[] = "COM3,9600,8,N,1,H";
    int32_t queueLength = 5;
    EXPECT_EQ(POS_SetDeviceParam(handle, POSNET_DEV_PARAM_COMSETTINGS, settings), 0);
    EXPECT_EQ(POS_SetDeviceParam(handle, POSNET_DEV_PARAM_OUTQUEUELENGTH, &queueLength), 0);
    EXPECT_EQ(POS_SetDeviceParam(handle, 0x12345, &queueLength), InvalidArgument);
    EXPECT_EQ(POS_SetDeviceParam(handle, POSNET_DEV_PARAM_COMSETTINGS, nullptr), InvalidArgument);
    char broken[] = "COM3";
    EXPECT_EQ(POS_SetDeviceParam(handle, POSNET_DEV_PARAM_COMSETTINGS, broken), InvalidArgument);
    EXPECT_EQ(POS_GetError(handle), InvalidArgument);
    POS_DestroyDeviceHandle(handle);
}

TEST(Opening, FailsWithoutAPort) {
    const POSNET_HANDLE handle = POS_CreateDeviceHandle(1);
    EXPECT_EQ(POS_OpenDevice(handle), 0u);
    EXPECT_EQ(POS_GetError(handle), InvalidArgument);
    POS_DestroyDeviceHandle(handle);
}

TEST(Opening, FailsForPortsThatCannotBeOpened) {
    for (const char* port : {"/nonexistent/printer", "relative/printer", "COM99",
                             "tcp://127.0.0.1:1", "tcp://127.0.0.1", "tcp://:80"}) {
        PosnetClient client(port);
        EXPECT_FALSE(client.opened()) << port;
        EXPECT_EQ(POS_GetError(client.handle()), PortNotOpened) << port;
    }
}

TEST(Opening, FailsForAFileThatIsNoTerminal) {
    PosnetClient client("/dev/null");
    EXPECT_FALSE(client.opened());
    EXPECT_EQ(POS_GetError(client.handle()), PortNotOpened);
}
