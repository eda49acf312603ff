// Streams over memory and files (short reads), and the storage round trip through a file.
#include "platform/com/stream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace win {
namespace {

std::string TempPath(const char* name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir && *dir ? dir : "/tmp") + "/comcore_" + std::to_string(::getpid()) + "_" +
         name;
}

LARGE_INTEGER Offset(long long v) {
  LARGE_INTEGER li;
  li.QuadPart = v;
  return li;
}

TEST(StreamTest, MemoryStreamReportsShortReadsAndGrowsOnWrite) {
  ComPtr<IStream> s;
  const BYTE init[] = {1, 2, 3};
  ASSERT_EQ(CreateStreamOnMemory(init, sizeof init, s.Receive()), S_OK);
  BYTE buf[8] = {};
  ULONG got = 0;
  EXPECT_EQ(s->Read(buf, 2, &got), S_OK);
  EXPECT_EQ(got, 2u);
  EXPECT_EQ(s->Read(buf, 4, &got), S_FALSE);  // only one byte left
  EXPECT_EQ(got, 1u);
  EXPECT_EQ(buf[0], 3);
  EXPECT_EQ(s->Read(buf, 4, &got), S_FALSE);
  EXPECT_EQ(got, 0u);

  // Writing past the end fills the gap with zeros.
  ULARGE_INTEGER pos{};
  ASSERT_EQ(s->Seek(Offset(5), STREAM_SEEK_SET, &pos), S_OK);
  const BYTE more[] = {9};
  ULONG put = 0;
  ASSERT_EQ(s->Write(more, 1, &put), S_OK);
  std::vector<BYTE> all;
  ASSERT_EQ(ReadStreamBytes(s.get(), &all), S_OK);
  EXPECT_EQ(all, (std::vector<BYTE>{1, 2, 3, 0, 0, 9}));
  EXPECT_EQ(s->Seek(Offset(-1), STREAM_SEEK_SET, &pos), STG_E_INVALIDFUNCTION);
  ASSERT_EQ(s->Seek(Offset(-2), STREAM_SEEK_END, &pos), S_OK);
  EXPECT_EQ(pos.QuadPart, 4u);

  STATSTG st;
  ASSERT_EQ(s->Stat(&st, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(st.cbSize.QuadPart, 6u);

  // A clone shares the data but has its own seek pointer.
  ComPtr<IStream> clone;
  ASSERT_EQ(s->Clone(clone.Receive()), S_OK);
  ASSERT_EQ(clone->Seek(Offset(0), STREAM_SEEK_SET, nullptr), S_OK);
  ASSERT_EQ(clone->Read(buf, 1, &got), S_OK);
  EXPECT_EQ(buf[0], 1);
}

TEST(StreamTest, FileStreamWritesReadsBackAndReportsShortReads) {
  std::string path = TempPath("stream.bin");
  {
    ComPtr<IStream> w;
    ASSERT_EQ(SHCreateStreamOnFileA(path.c_str(), STGM_WRITE | STGM_CREATE, w.Receive()), S_OK);
    ULONG put = 0;
    ASSERT_EQ(w->Write("hello", 5, &put), S_OK);
    EXPECT_EQ(put, 5u);
    BYTE b;
    EXPECT_EQ(w->Read(&b, 1, nullptr), STG_E_ACCESSDENIED);
  }
  ComPtr<IStream> r;
  ASSERT_EQ(SHCreateStreamOnFileA(path.c_str(), STGM_READ, r.Receive()), S_OK);
  char buf[16] = {};
  ULONG got = 0;
  EXPECT_EQ(r->Read(buf, sizeof buf, &got), S_FALSE);
  EXPECT_EQ(got, 5u);
  EXPECT_EQ(std::string(buf, got), "hello");
  EXPECT_EQ(r->Write("x", 1, nullptr), STG_E_ACCESSDENIED);
  STATSTG st;
  ASSERT_EQ(r->Stat(&st, STATFLAG_DEFAULT), S_OK);
  EXPECT_EQ(st.cbSize.QuadPart, 5u);
  EXPECT_NE(st.pwcsName, nullptr);
  CoTaskMemFree(st.pwcsName);
  r.Reset();
  std::remove(path.c_str());

  ComPtr<IStream> missing;
  EXPECT_EQ(SHCreateStreamOnFileA(path.c_str(), STGM_READ, missing.Receive()), STG_E_FILENOTFOUND);
  EXPECT_FALSE(missing);
}

TEST(StreamTest, CopyToAndSetSizeBetweenMemoryAndFile) {
  std::string path = TempPath("copy.bin");
  ComPtr<IStream> mem;
  ASSERT_EQ(CreateStreamOnMemory("0123456789", 10, mem.Receive()), S_OK);
  ComPtr<IStream> file;
  ASSERT_EQ(SHCreateStreamOnFileA(path.c_str(), STGM_READWRITE | STGM_CREATE, file.Receive()),
            S_OK);
  ASSERT_EQ(mem->Seek(Offset(2), STREAM_SEEK_SET, nullptr), S_OK);
  ULARGE_INTEGER want, read{}, written{};
  want.QuadPart = 100;  // more than is left: copies to the end
  ASSERT_EQ(mem->CopyTo(file.get(), want, &read, &written), S_OK);
  EXPECT_EQ(read.QuadPart, 8u);
  EXPECT_EQ(written.QuadPart, 8u);
  ULARGE_INTEGER size;
  size.QuadPart = 3;
  ASSERT_EQ(file->SetSize(size), S_OK);
  std::vector<BYTE> back;
  ASSERT_EQ(ReadStreamBytes(file.get(), &back), S_OK);
  EXPECT_EQ(back, (std::vector<BYTE>{'2', '3', '4'}));
  size.QuadPart = 0;
  ASSERT_EQ(mem->SetSize(size), S_OK);
  ASSERT_EQ(ReadStreamBytes(mem.get(), &back), S_OK);
  EXPECT_TRUE(back.empty());
  file.Reset();
  std::remove(path.c_str());
}

TEST(StorageTest, ContentsStreamRoundTripsThroughAFile) {
  std::string path = TempPath("storage.stg");
  const CLSID clsid = GuidFromString("{7C2A9E0E-4F3B-4D8A-9E61-2B7D45C0A311}");
  std::vector<BYTE> payload(110);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<BYTE>(i * 7);
  {
    ComPtr<IStorage> stg;
    ASSERT_EQ(StgCreateDocfile(path.c_str(), STGM_READWRITE | STGM_CREATE, 0, stg.Receive()), S_OK);
    ASSERT_EQ(stg->SetClass(clsid), S_OK);
    ComPtr<IStream> contents;
    ASSERT_EQ(stg->CreateStream(u"Contents", STGM_READWRITE, 0, 0, contents.Receive()), S_OK);
    ASSERT_EQ(contents->Write(payload.data(), static_cast<ULONG>(payload.size()), nullptr), S_OK);
    ComPtr<IStream> again;
    EXPECT_EQ(stg->CreateStream(u"Contents", STGM_READWRITE, 0, 0, again.Receive()),
              STG_E_FILEALREADYEXISTS);
    EXPECT_EQ(stg->CreateStream(u"a/b", STGM_READWRITE, 0, 0, again.Receive()), STG_E_INVALIDNAME);
    ASSERT_EQ(stg->Commit(STGC_DEFAULT), S_OK);
  }
  ComPtr<IStorage> read;
  ASSERT_EQ(StgOpenStorage(path.c_str(), nullptr, STGM_READ, nullptr, 0, read.Receive()), S_OK);
  STATSTG st;
  ASSERT_EQ(read->Stat(&st, STATFLAG_NONAME), S_OK);
  EXPECT_TRUE(IsEqualGUID(st.clsid, clsid));
  ComPtr<IStream> contents;
  ASSERT_EQ(read->OpenStream(u"Contents", nullptr, STGM_READ, 0, contents.Receive()), S_OK);
  std::vector<BYTE> back;
  ASSERT_EQ(ReadStreamBytes(contents.get(), &back), S_OK);
  EXPECT_EQ(back, payload);
  EXPECT_EQ(contents->Write("x", 1, nullptr), STG_E_ACCESSDENIED);
  ComPtr<IStream> absent;
  EXPECT_EQ(read->OpenStream(u"Other", nullptr, STGM_READ, 0, absent.Receive()),
            STG_E_FILENOTFOUND);
  EXPECT_EQ(read->CreateStream(u"New", STGM_READWRITE, 0, 0, absent.Receive()), STG_E_ACCESSDENIED);
  read.Reset();
  std::remove(path.c_str());
}

TEST(StorageTest, CommitReplacesTheFileWholeThroughALinkKeepingItsMode) {
  const std::string real = TempPath("real.stg"), link = TempPath("link.stg");
  std::remove(link.c_str());
  std::ofstream(link + ".tmp") << "not ours";  // a fixed temporary name would clobber this
  auto commit = [](const std::string& path, DWORD mode) {
    ComPtr<IStorage> stg;
    HRESULT hr = StgCreateDocfile(path.c_str(), mode, 0, stg.Receive());
    if (FAILED(hr)) return hr;
    ComPtr<IStream> contents;
    stg->CreateStream(u"Contents", STGM_READWRITE, 0, 0, contents.Receive());
    contents->Write("abc", 3, nullptr);
    return stg->Commit(STGC_DEFAULT);
  };
  ASSERT_EQ(commit(real, STGM_READWRITE | STGM_CREATE), S_OK);
  ASSERT_EQ(::chmod(real.c_str(), 0600), 0);
  ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
  ASSERT_EQ(commit(link, STGM_READWRITE | STGM_CREATE), S_OK);
  struct stat st;
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays a link";
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  std::ifstream tmp(link + ".tmp");
  std::string left;
  std::getline(tmp, left);
  EXPECT_EQ(left, "not ours");

  // A read-only file is not replaced, and keeps what it held.
  ASSERT_EQ(::chmod(real.c_str(), 0444), 0);
  const auto before = std::filesystem::file_size(real);
  ComPtr<IStorage> stg;
  ASSERT_EQ(StgOpenStorage(real.c_str(), nullptr, STGM_READWRITE, nullptr, 0, stg.Receive()), S_OK);
  ASSERT_EQ(stg->DestroyElement(u"Contents"), S_OK);
  EXPECT_EQ(stg->Commit(STGC_DEFAULT), STG_E_ACCESSDENIED);
  stg.Reset();
  EXPECT_EQ(std::filesystem::file_size(real), before);
  std::remove(link.c_str());
  std::remove((link + ".tmp").c_str());
  ::chmod(real.c_str(), 0600);
  std::remove(real.c_str());
}

TEST(StorageTest, ChangesAreWrittenOnReleaseAndDamagedFilesAreRefused) {
  std::string path = TempPath("release.stg");
  {
    ComPtr<IStorage> stg;
    ASSERT_EQ(StgCreateDocfile(path.c_str(), STGM_READWRITE | STGM_CREATE, 0, stg.Receive()), S_OK);
    ComPtr<IStream> s;
    ASSERT_EQ(stg->CreateStream(u"Contents", STGM_READWRITE, 0, 0, s.Receive()), S_OK);
    s->Write("abc", 3, nullptr);
  }  // no Commit: the release writes it
  ComPtr<IStorage> stg;
  ASSERT_EQ(StgOpenStorage(path.c_str(), nullptr, STGM_READ, nullptr, 0, stg.Receive()), S_OK);
  ComPtr<IStream> s;
  ASSERT_EQ(stg->OpenStream(u"Contents", nullptr, STGM_READ, 0, s.Receive()), S_OK);
  std::vector<BYTE> back;
  ReadStreamBytes(s.get(), &back);
  EXPECT_EQ(back, (std::vector<BYTE>{'a', 'b', 'c'}));
  s.Reset();
  stg.Reset();

  ComPtr<IStorage> exists;
  EXPECT_EQ(StgCreateDocfile(path.c_str(), STGM_READWRITE, 0, exists.Receive()),
            STG_E_FILEALREADYEXISTS);

  // Truncate the file: the length field of the stream now points past the end.
  std::string damaged;
  {
    std::ifstream in(path, std::ios::binary);
    damaged.assign(std::istreambuf_iterator<char>(in), {});
  }
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(damaged.data(), static_cast<std::streamsize>(damaged.size() - 1));
  }
  EXPECT_EQ(StgOpenStorage(path.c_str(), nullptr, STGM_READWRITE, nullptr, 0, stg.Receive()),
            STG_E_READFAULT);
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "not a storage";
  }
  EXPECT_EQ(StgOpenStorage(path.c_str(), nullptr, STGM_READ, nullptr, 0, stg.Receive()),
            STG_E_READFAULT);
  std::remove(path.c_str());
  EXPECT_EQ(StgOpenStorage(path.c_str(), nullptr, STGM_READ, nullptr, 0, stg.Receive()),
            STG_E_FILENOTFOUND);
}

}  // namespace
}  // namespace win
