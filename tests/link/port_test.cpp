#include "fixtures.h"

#include <fstream>
#include <termios.h>

namespace fs = std::filesystem;

using PortTest = DialogTest;

TEST_F(PortTest, MissingOrUnsuitableDevicesDoNotOpen) {
    const int before = CountOpenDescriptors();
    dlg->GetDlgItem(IDC_PORT)->SendMessage(CB_SETCURSEL, 2);
    EXPECT_EQ(dlg->OpenPort(), 0);
    EXPECT_EQ(dlg->m_hPort, INVALID_HANDLE_VALUE);
    // A plain file where the device should be is not a serial port.
    std::ofstream(devices->path() / "COM3") << "not a tty";
    EXPECT_EQ(dlg->OpenPort(), 0);
    EXPECT_EQ(CountOpenDescriptors(), before);
}

TEST_F(PortTest, APortInUseCannotBeOpenedAgain) {
    AttachReceiver();
    HANDLE other = OpenSerialPort("COM1");
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(dlg->OpenPort(), 0) << "the lock keeps a second opener out, root included";
    CloseHandle(other);
    ASSERT_EQ(dlg->OpenPort(), 1);
    EXPECT_EQ(OpenSerialPort("COM1"), INVALID_HANDLE_VALUE);
    CloseHandle(dlg->m_hPort);
    dlg->m_hPort = nullptr;
}

TEST_F(PortTest, OpenSetsTheReceiversLine) {
    AttachReceiver();
    // Start from settings that differ in every field the line needs.
    {
        HANDLE port = OpenSerialPort("COM1");
        termios tio{};
        ::tcgetattr(SerialPortDescriptor(port), &tio);
        cfsetspeed(&tio, B1200);
        tio.c_cflag = (tio.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB;
        tio.c_iflag |= IXON | IXOFF | ICRNL;
        tio.c_lflag |= ICANON | ECHO;
        ::tcsetattr(SerialPortDescriptor(port), TCSANOW, &tio);
        CloseHandle(port);
    }
    ASSERT_EQ(dlg->OpenPort(), 1);
    termios tio{};
    ASSERT_EQ(::tcgetattr(SerialPortDescriptor(dlg->m_hPort), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B9600);
    EXPECT_EQ(cfgetispeed(&tio), B9600);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | IGNCR | INLCR | ISTRIP | IGNBRK), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    DCB dcb;
    ASSERT_TRUE(GetCommState(dlg->m_hPort, dcb));
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.fOutX + dcb.fInX, 0u);
    CloseHandle(dlg->m_hPort);
    dlg->m_hPort = nullptr;
}

TEST_F(PortTest, ReadLineEndsAtAnyControlByteAndLeavesTheRest) {
    VirtualReceiver& peer = AttachReceiver();
    ASSERT_EQ(dlg->OpenPort(), 1);
    CString line;
    const auto next = [&] {
        EXPECT_EQ(dlg->ReadLine(line, DeadlineIn(500)), LineResult::Ok);
        return line;
    };
    peer.SendRaw("MDL\r");
    EXPECT_EQ(next(), "MDL");
    peer.SendRaw("MDL\r\n");
    EXPECT_EQ(next(), "MDL");
    EXPECT_EQ(next(), "") << "the line feed of CR LF is a second, empty line";
    peer.SendRaw(std::string("\x01"
                             "ABC\r",
                             5));
    EXPECT_EQ(next(), "");
    EXPECT_EQ(next(), "ABC");
    peer.SendRaw(std::string("A\0B\r", 4));
    EXPECT_EQ(next(), "A");
    EXPECT_EQ(next(), "B");
    peer.SendRaw("\x7F\xFF\x20\r");
    EXPECT_EQ(next(), "\x7F\xFF ");
    peer.SendRaw("OK\rEN");
    EXPECT_EQ(next(), "OK");
    peer.SendRaw("D\r");
    EXPECT_EQ(next(), "END");
    peer.SendRaw(std::string(300, 'A') + "\rNEXT\r");
    EXPECT_EQ(next(), std::string(256, 'A')) << "a long line is cut, and its end still found";
    EXPECT_EQ(next(), "NEXT");

    EXPECT_EQ(dlg->ReadLine(line, DeadlineIn(60)), LineResult::TimedOut);
    peer.SendRaw("PARTIAL");
    EXPECT_EQ(dlg->ReadLine(line, DeadlineIn(60)), LineResult::TimedOut)
        << "a line never ended times out";
    peer.HangUp();
    EXPECT_EQ(dlg->ReadLine(line, DeadlineIn(2000)), LineResult::ReadFailed);
    CloseHandle(dlg->m_hPort);
    dlg->m_hPort = nullptr;
}

TEST_F(PortTest, SendTextWritesTheBytesAsTheyAre) {
    VirtualReceiver& peer = AttachReceiver();
    ASSERT_EQ(dlg->OpenPort(), 1);
    dlg->SendText("OK\r");
    EXPECT_EQ(peer.ReadAvailable(100), "OK\r");
    dlg->SendText("AB");
    EXPECT_EQ(peer.ReadAvailable(100), "AB");
    CloseHandle(dlg->m_hPort);
    dlg->m_hPort = nullptr;
}
