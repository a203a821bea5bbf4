// The descriptor session behind the read and write procs: typed reads, sticky errors,
// expected keys, the explanation of a value of the wrong type, and writers.
#include "host/DescriptorSession.h"

#include <gtest/gtest.h>

namespace vg::host {
namespace {

using ps::FourCC;

const char kFile[] =
    "# replayed look\n"
    "CIT_ doub 4.25\n"
    "tile long 7\n"
    "\n"
    "name TEXT \"soft\"\n"
    "flag bool true\n";

struct Session {
    Session() {
        std::string error;
        EXPECT_TRUE(CDescriptor::FromText(kFile, &source, &error)) << error;
        passed = memory.HandleFromBytes(source.Encode());
        session.SetPassed(passed, &source);
    }
    CHostMemory memory;
    CDescriptorSession session{memory};
    CDescriptor source;
    ps::Handle passed = nullptr;
};

TEST(HostDescriptorSession, ReadsEveryItemAsItsTypeAndCoercesNumbers) {
    Session s;
    ps::DescriptorKeyID keys[] = {FourCC("tile"), FourCC("miss"), 0, 0xFFFFFFFF};
    ps::PIReadDescriptor r = s.session.OpenRead(s.passed, keys);
    ASSERT_NE(r, nullptr);
    ps::DescriptorKeyID key = 0;
    ps::DescriptorTypeID type = 0;
    double d = 0;
    int32_t i = 0;
    ps::Handle text = nullptr;
    ps::Boolean b = 0;

    ASSERT_TRUE(s.session.GetKey(r, &key, &type, nullptr));
    EXPECT_EQ(key, FourCC("CIT_"));
    EXPECT_EQ(s.session.GetInteger(r, &i), ps::noErr);  // a float read as an integer
    EXPECT_EQ(i, 4);
    ASSERT_TRUE(s.session.GetKey(r, &key, &type, nullptr));
    EXPECT_EQ(s.session.GetFloat(r, &d), ps::noErr);  // an integer read as a float
    EXPECT_EQ(d, 7.0);
    EXPECT_EQ(keys[0], FourCC("miss"));  // "tile" was crossed off, the list stays terminated
    EXPECT_EQ(keys[1], 0u);
    EXPECT_EQ(keys[3], 0xFFFFFFFFu);
    ASSERT_TRUE(s.session.GetKey(r, &key, &type, nullptr));
    ASSERT_EQ(s.session.GetText(r, &text), ps::noErr);
    EXPECT_EQ(s.memory.HandleBytes(text), "soft");
    ASSERT_TRUE(s.session.GetKey(r, &key, &type, nullptr));
    EXPECT_EQ(s.session.GetBoolean(r, &b), ps::noErr);
    EXPECT_EQ(b, 1);
    EXPECT_FALSE(s.session.GetKey(r, &key, &type, nullptr));
    EXPECT_EQ(s.session.CloseRead(r), ps::noErr);
    EXPECT_FALSE(s.session.Problem().found);

    // Photoshop's strictness on keys never read is an option.
    s.session.SetReportMissingKeys(true);
    r = s.session.OpenRead(s.passed, keys);
    EXPECT_EQ(s.session.CloseRead(r), ps::errMissingParameter);
    EXPECT_EQ(s.session.CloseRead(r), ps::paramErr);  // closed already
}

TEST(HostDescriptorSession, WrongTypeFailsStickilyAndNamesTheItemAndItsLine) {
    Session s;
    ps::PIReadDescriptor r = s.session.OpenRead(s.passed, nullptr);
    ps::DescriptorKeyID key = 0;
    ps::DescriptorTypeID type = 0;
    double d = 0;
    ps::Handle text = nullptr;
    ps::DescriptorEnumID e = 0;
    ASSERT_TRUE(s.session.GetKey(r, &key, &type, nullptr));
    EXPECT_EQ(s.session.GetText(r, &text), ps::paramErr);  // doub read as text
    EXPECT_EQ(text, nullptr);
    ASSERT_TRUE(s.session.GetKey(r, &key, &type, nullptr));
    ASSERT_TRUE(s.session.GetKey(r, &key, &type, nullptr));
    EXPECT_EQ(s.session.GetFloat(r, &d), ps::paramErr);            // TEXT read as a number
    EXPECT_EQ(s.session.GetEnumerated(r, nullptr), ps::paramErr);  // no place for the value
    EXPECT_EQ(s.session.GetEnumerated(r, &e), ps::paramErr);
    EXPECT_EQ(s.session.CloseRead(r), ps::paramErr);

    // The first problem is kept.
    const DescriptorProblem& p = s.session.Problem();
    ASSERT_TRUE(p.found);
    EXPECT_EQ(p.item, 0u);
    EXPECT_EQ(p.line, 2);
    EXPECT_EQ(DescribeProblem(p),
              "item 1 (CIT_, line 2) is 'doub' where the plug-in reads text (TEXT)");

    // A descriptor other than the one passed has no file lines.
    s.session.Reset();
    CDescriptor other;
    other.items.push_back(s.source.items[2]);
    ps::Handle h = s.memory.HandleFromBytes(other.Encode());
    r = s.session.OpenRead(h, nullptr);
    ASSERT_TRUE(s.session.GetKey(r, &key, &type, nullptr));
    EXPECT_EQ(s.session.GetCount(r, nullptr), ps::paramErr);
    EXPECT_FALSE(s.session.Problem().found);
    uint32_t count = 0;
    EXPECT_EQ(s.session.GetCount(r, &count), ps::paramErr);
    EXPECT_EQ(DescribeProblem(s.session.Problem()),
              "item 1 (name) is 'TEXT' where the plug-in reads a count (long)");
}

TEST(HostDescriptorSession, WritersHoldWhatWasPutAndStrangersAreRefused) {
    Session s;
    ps::PIWriteDescriptor w = s.session.OpenWrite();
    ASSERT_NE(w, nullptr);
    for (const DescriptorItem& item : s.source.items) ASSERT_EQ(s.session.Put(w, item), ps::noErr);
    ps::Handle text = s.memory.HandleFromBytes("bytes");
    ASSERT_EQ(s.session.PutBytes(w, FourCC("alis"), FourCC("alis"), 0, text), ps::noErr);
    char* none = nullptr;
    EXPECT_EQ(s.session.PutBytes(w, FourCC("alis"), FourCC("alis"), 0, &none), ps::paramErr);
    ps::Handle out = nullptr;
    EXPECT_EQ(s.session.CloseWrite(w, nullptr), ps::paramErr);  // the writer is gone after it
    EXPECT_EQ(s.session.CloseWrite(w, &out), ps::paramErr);

    w = s.session.OpenWrite();
    ASSERT_EQ(s.session.Put(w, s.source.items[0]), ps::noErr);
    ASSERT_EQ(s.session.CloseWrite(w, &out), ps::noErr);
    EXPECT_TRUE(s.session.IsWritten(out));
    CDescriptor back;
    std::string error;
    ASSERT_TRUE(CDescriptor::Decode(s.memory.HandleBytes(out), &back, &error)) << error;
    ASSERT_EQ(back.items.size(), 1u);
    EXPECT_EQ(back.items[0], s.source.items[0]);

    // Readers and writers that are not ours, and handles that are not descriptors.
    int junk = 0;
    auto strangeReader = reinterpret_cast<ps::PIReadDescriptor>(&junk);
    auto strangeWriter = reinterpret_cast<ps::PIWriteDescriptor>(&junk);
    double d = 0;
    EXPECT_FALSE(s.session.GetKey(strangeReader, nullptr, nullptr, nullptr));
    EXPECT_EQ(s.session.GetFloat(strangeReader, &d), ps::paramErr);
    EXPECT_EQ(s.session.CloseRead(strangeReader), ps::paramErr);
    EXPECT_EQ(s.session.Put(strangeWriter, DescriptorItem{}), ps::paramErr);
    EXPECT_EQ(s.session.OpenRead(text, nullptr), nullptr);
    EXPECT_EQ(s.session.OpenRead(&none, nullptr), nullptr);
}

}  // namespace
}  // namespace vg::host
