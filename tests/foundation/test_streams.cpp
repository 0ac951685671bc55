#include <gtest/gtest.h>

#include <string>

#include "rtl/Streams.h"
#include "rtl/SysUtils.h"
#include "support/TestUtils.h"

namespace vemra {
namespace {

std::string ReadN(TStream& s, std::size_t n) {
    std::string buf(n, '\0');
    buf.resize(s.Read(buf.data(), n));
    return buf;
}

TEST(MemoryStream, WriteOverwritesAndGrowsAtThePosition) {
    TMemoryStream s;
    s.WriteString("hello world");
    EXPECT_EQ(s.Position(), 11);
    s.SetPosition(6);
    s.WriteString("there, you");
    EXPECT_EQ(s.Bytes(), "hello there, you");
    s.SetPosition(0);
    s.WriteString("J");
    EXPECT_EQ(s.Bytes(), "Jello there, you");
    EXPECT_EQ(s.Size(), 16);
}

TEST(MemoryStream, SeekClampsAtZeroAndReadsStopAtTheEnd) {
    TMemoryStream s(std::string("abcdef"));
    EXPECT_EQ(s.Seek(-3, TSeekOrigin::soEnd), 3);
    EXPECT_EQ(ReadN(s, 10), "def");
    EXPECT_EQ(ReadN(s, 10), "");
    EXPECT_EQ(s.Seek(-100, TSeekOrigin::soCurrent), 0);
    EXPECT_EQ(ReadN(s, 2), "ab");
    EXPECT_EQ(s.ReadAll(), "cdef");

    s.Seek(2, TSeekOrigin::soEnd);  // past the end: a later write leaves a zero-filled gap
    s.WriteString("z");
    EXPECT_EQ(s.Bytes(), std::string("abcdef\0\0z", 9));
}

class FileStreamTest : public ::testing::Test {
protected:
    test::TempFolder temp_{"vemra_stream"};
    std::string dir_ = temp_.path();
};

TEST_F(FileStreamTest, CreateWriteReadBackBinary) {
    const std::string path = JoinPath(dir_, "data.bin");
    const std::string bytes("a\r\n\0b\xff", 6);
    {
        TFileStream out(path, TFileMode::fmCreate);
        out.WriteString(bytes);
        EXPECT_EQ(out.Size(), 6);
        out.SetPosition(0);
        EXPECT_EQ(ReadN(out, 2), "a\r");  // read after write on the same stream
        out.WriteString("X");
        EXPECT_EQ(out.Seek(0, TSeekOrigin::soEnd), 6);
    }
    EXPECT_EQ(ReadFileBytes(path), std::string("a\rX\0b\xff", 6));

    TFileStream in(path, TFileMode::fmOpenRead);
    EXPECT_EQ(in.Seek(-2, TSeekOrigin::soEnd), 4);
    EXPECT_EQ(in.ReadAll(), "b\xff");
    EXPECT_EQ(in.Seek(-10, TSeekOrigin::soBeginning), 0);
    EXPECT_THROW(in.WriteString("no"), EInOutError);  // opened for reading only
}

TEST_F(FileStreamTest, ReadWriteModeKeepsTheContents) {
    const std::string path = JoinPath(dir_, "rw.txt");
    WriteFileAtomic(path, "12345");
    {
        TFileStream rw(path, TFileMode::fmOpenReadWrite);
        rw.Seek(0, TSeekOrigin::soEnd);
        rw.WriteString("67");
        rw.Flush();
        EXPECT_EQ(rw.Size(), 7);
    }
    EXPECT_EQ(ReadFileBytes(path), "1234567");
}

TEST_F(FileStreamTest, OpenFailuresNameTheFile) {
    const std::string missing = JoinPath(dir_, "missing.txt");
    for (TFileMode mode : {TFileMode::fmOpenRead, TFileMode::fmOpenReadWrite}) {
        try {
            TFileStream s(missing, mode);
            FAIL() << "opened a missing file";
        } catch (const EInOutError& e) {
            EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
        }
    }
    const std::string badFolder = JoinPath(dir_, "no/such/folder.txt");
    try {
        TFileStream s(badFolder, TFileMode::fmCreate);
        FAIL() << "created a file in a missing folder";
    } catch (const EInOutError& e) {
        EXPECT_NE(std::string(e.what()).find(badFolder), std::string::npos) << e.what();
    }
}

TEST_F(FileStreamTest, WriteFailureRaises) {
    TFileStream full("/dev/full", TFileMode::fmOpenReadWrite);
    const std::string big(1 << 16, 'x');  // larger than the stream buffer, so it reaches the device
    EXPECT_THROW(full.WriteString(big), EInOutError);
}

}  // namespace
}  // namespace vemra
