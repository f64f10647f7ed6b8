#include "panes/search_index.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace lectern {
namespace {

// Layout, all integers little-endian:
//   header (kHeaderBytes), then the sections in this order:
//   texts:    each file's folded text followed by its folded alternative reading
//   records:  per file: path length, title length (u32), text offset (u64), text length,
//             alternative length, flags (u32), then the path and title bytes
//   buckets:  2^bits + 1 u32 offsets into the postings, ascending
//   postings: per bucket, the files holding a sequence of that bucket, ascending, each as the
//             difference to the one before (the first counted from -1), LEB128
constexpr char kMagic[8] = {'L', 'E', 'C', 'T', 'S', 'I', 'D', 'X'};
constexpr uint32_t kVersion = 1;
constexpr size_t kHeaderBytes = 128;
constexpr size_t kRecordFixedBytes = 28;
constexpr uint32_t kUnreadable = 1;       // empty or unreadable: never a hit
constexpr uint32_t kHasAlternative = 2;
constexpr size_t kChecksumBlock = 1 << 20;
constexpr size_t kSequenceBytes = 3;
// More buckets sharpen the candidates a little but cost the build a cache miss per file and
// sequence once the tables outgrow the cache.
constexpr uint32_t kMaxBucketBits = 16;
// Postings name groups of this many neighbouring files, not single files: neighbours share most of
// their sequences, so the build adds far fewer pairs, and a query confirms a few more files from
// text it already has at hand.
constexpr uint32_t kGroupShift = 2;
uint32_t GroupCount(uint32_t files) { return (files + (1u << kGroupShift) - 1) >> kGroupShift; }

uint64_t Load64(const uint8_t* p) { return uint64_t(LoadU32(p)) | uint64_t(LoadU32(p + 4)) << 32; }
void Store64(uint8_t* p, uint64_t v) {
  StoreU32(p, uint32_t(v));
  StoreU32(p + 4, uint32_t(v >> 32));
}

uint32_t BucketOf(uint32_t sequence, uint32_t bits) { return (sequence * 0x9E3779B1u) >> (32 - bits); }

// Fewer buckets for small books: the table costs 4 bytes a bucket whatever the book holds.
uint32_t BucketBitsFor(uint64_t text_bytes) {
  uint32_t bits = 10;
  while (bits < kMaxBucketBits && (uint64_t(1) << (bits + 6)) < text_bytes) ++bits;
  return bits;
}

// One checksum block: four independent multiply lanes, so it runs near memory speed.
uint64_t BlockHash(const uint8_t* p, size_t n) {
  constexpr uint64_t kPrime = 0x9E3779B97F4A7C15ull;
  uint64_t lanes[4] = {1, 2, 3, 4};
  size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    for (int k = 0; k < 4; ++k) {
      uint64_t w;
      std::memcpy(&w, p + i + 8 * k, 8);
      lanes[k] = (lanes[k] ^ w) * kPrime;
      lanes[k] ^= lanes[k] >> 29;
    }
  }
  uint64_t h = n;
  for (; i < n; ++i) h = (h ^ p[i]) * kPrime;
  for (uint64_t lane : lanes) h = (h ^ lane) * kPrime ^ (h >> 31);
  return h;
}

uint64_t MixChecksum(uint64_t sum, uint64_t block) { return (sum ^ block) * 0xC2B2AE3D27D4EB4Full + 0x165667B19E3779F9ull; }

// The index file being written: buffered, and summed in fixed blocks from the end of the header,
// so the reader sums the same blocks whatever sizes the writes had.
class IndexWriter {
 public:
  ~IndexWriter() {
    if (fd_ >= 0) ::close(fd_);
    if (!temp_.empty()) ::unlink(temp_.c_str());
  }
  bool Begin(const std::string& target, std::string& error) {
    target_ = target;
    std::string pattern = target + ".tmp-XXXXXX";
    fd_ = ::mkstemp(pattern.data());
    if (fd_ < 0) return error = "cannot write " + pattern + ": " + std::strerror(errno), false;
    temp_ = pattern;
    // Room for the header, written last.
    if (::ftruncate(fd_, off_t(kHeaderBytes)) != 0 || ::lseek(fd_, off_t(kHeaderBytes), SEEK_SET) < 0)
      return error = "cannot write " + temp_ + ": " + std::strerror(errno), false;
    buffer_.reserve(kChecksumBlock);
    return true;
  }
  void Append(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
      size_t take = std::min(size, kChecksumBlock - buffer_.size());
      buffer_.insert(buffer_.end(), p, p + take);
      p += take;
      size -= take;
      if (buffer_.size() == kChecksumBlock) Flush();
    }
  }
  void AppendU32(uint32_t v) {
    uint8_t b[4];
    StoreU32(b, v);
    Append(b, 4);
  }
  void AppendU64(uint64_t v) {
    uint8_t b[8];
    Store64(b, v);
    Append(b, 8);
  }
  uint64_t offset() const { return kHeaderBytes + written_ + buffer_.size(); }
  // Writes the header with the checksum and renames the file into place. Not synced: an index is
  // made again from its book at any time, and one torn by a crash fails its checksum and is.
  bool Finish(uint8_t* header, std::string& error) {
    Flush();
    Store64(header + 112, kHeaderBytes + written_);
    Store64(header + 120, 0);
    Store64(header + 120, MixChecksum(checksum_, BlockHash(header, kHeaderBytes)));
    if (failed_ || ::pwrite(fd_, header, kHeaderBytes, 0) != ssize_t(kHeaderBytes))
      return error = "cannot write " + temp_ + ": " + std::strerror(errno), false;
    ::close(fd_);
    fd_ = -1;
    if (::rename(temp_.c_str(), target_.c_str()) != 0)
      return error = "cannot rename " + temp_ + " to " + target_ + ": " + std::strerror(errno), false;
    temp_.clear();
    return true;
  }

 private:
  void Flush() {
    if (buffer_.empty()) return;
    checksum_ = MixChecksum(checksum_, BlockHash(buffer_.data(), buffer_.size()));
    size_t done = 0;
    while (done < buffer_.size() && !failed_) {
      ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) failed_ = true;
      else done += size_t(n);
    }
    written_ += buffer_.size();
    buffer_.clear();
  }

  std::string target_, temp_;
  int fd_ = -1;
  std::vector<uint8_t> buffer_;
  uint64_t written_ = 0;
  uint64_t checksum_ = 0;
  bool failed_ = false;
};

// The postings while the index is built. Each file's distinct buckets are found in a bitmap that
// stays in cache; the (bucket, file) pairs wait in a batch that is sorted by bucket before it is
// added, so the per-bucket lists are walked in order rather than at random. Each list is a chain of
// small blocks in one pool, so memory follows what the lists hold (about a byte per pair).
class PostingBuilder {
 public:
  explicit PostingBuilder(uint32_t bits)
      : bits_(bits), seen_(size_t(1) << bits), tail_(size_t(1) << bits), head_(size_t(1) << bits),
        length_(size_t(1) << bits), last_(size_t(1) << bits) {
    pending_.reserve(kBatch);
  }

  // Adds the sequences of `text` to the file being read (files come in ascending order, each
  // file's texts one after the other before EndFile).
  void AddText(std::string_view text) {
    if (text.size() < kSequenceBytes) return;
    const auto* t = reinterpret_cast<const uint8_t*>(text.data());
    uint32_t sequence = uint32_t(t[0]) | uint32_t(t[1]) << 8;
    for (size_t i = 2; i < text.size(); ++i) {
      sequence |= uint32_t(t[i]) << 16;
      uint32_t bucket = BucketOf(sequence, bits_);
      if (!seen_[bucket]) {
        seen_[bucket] = 1;
        touched_.push_back(bucket);
      }
      sequence >>= 8;
    }
  }
  void EndFile(uint32_t file) {
    if (((file + 1) & ((1u << kGroupShift) - 1)) == 0) EndGroup(file >> kGroupShift);
  }

  // The bucket table and the postings, in file order.
  bool Write(IndexWriter& out, uint64_t& postings_size, uint32_t files) {
    if (files & ((1u << kGroupShift) - 1)) EndGroup(files >> kGroupShift);
    AddPending();
    uint64_t at = 0;
    for (uint32_t length : length_) {
      out.AppendU32(uint32_t(at));
      at += length;
      if (at > UINT32_MAX) return false;
    }
    out.AppendU32(uint32_t(at));
    for (size_t b = 0; b < length_.size(); ++b) {
      uint32_t left = length_[b];
      for (uint32_t block = head_[b]; left > 0;) {
        uint32_t take = std::min<uint32_t>(left, kBlockBytes);
        out.Append(&pool_[size_t(block) * kBlockBytes], take);
        left -= take;
        block = next_[block];
      }
    }
    postings_size = at;
    return true;
  }

 private:
  static constexpr uint32_t kBlockBytes = 32;
  static constexpr size_t kBatch = size_t(1) << 20;

  void EndGroup(uint32_t group) {
    for (uint32_t bucket : touched_) {
      seen_[bucket] = 0;
      pending_.push_back(uint64_t(bucket) << 32 | group);
    }
    touched_.clear();
    if (pending_.size() >= kBatch) AddPending();
  }

  // One stable counting pass by bucket, so each bucket's files stay ascending.
  void AddPending() {
    sorted_.resize(pending_.size());
    counts_.assign(length_.size() + 1, 0);
    for (uint64_t pair : pending_) ++counts_[(pair >> 32) + 1];
    for (size_t i = 1; i < counts_.size(); ++i) counts_[i] += counts_[i - 1];
    for (uint64_t pair : pending_) sorted_[counts_[pair >> 32]++] = pair;
    for (uint64_t pair : sorted_) Add(uint32_t(pair >> 32), uint32_t(pair));
    pending_.clear();
  }

  void Add(uint32_t bucket, uint32_t group) {
    const uint32_t mark = group + 1;
    uint32_t delta = mark - last_[bucket];
    last_[bucket] = mark;
    do {
      uint8_t byte = uint8_t(delta & 0x7F);
      delta >>= 7;
      AppendByte(bucket, delta ? byte | 0x80 : byte);
    } while (delta);
  }

  void AppendByte(uint32_t bucket, uint8_t byte) {
    uint32_t used = length_[bucket] % kBlockBytes;
    if (used == 0) {
      uint32_t block = uint32_t(next_.size());
      next_.push_back(0);
      pool_.resize(pool_.size() + kBlockBytes);
      if (length_[bucket] == 0) head_[bucket] = block;
      else next_[tail_[bucket]] = block;
      tail_[bucket] = block;
    }
    pool_[size_t(tail_[bucket]) * kBlockBytes + used] = byte;
    ++length_[bucket];
  }

  uint32_t bits_;
  std::vector<uint8_t> seen_;  // bytes, not bits: no read-modify-write chain between neighbours
  std::vector<uint32_t> touched_;
  std::vector<uint64_t> pending_, sorted_;
  std::vector<uint32_t> counts_;
  std::vector<uint32_t> tail_, head_, length_, last_;
  std::vector<uint8_t> pool_;
  std::vector<uint32_t> next_;  // the block after each, apart so a block's bytes fill a cache line half
};

// A growable buffer that is never zero-filled: each file overwrites what it needs.
uint8_t* Reserve(std::unique_ptr<uint8_t[]>& buffer, size_t& capacity, size_t size) {
  if (size > capacity) {
    buffer.reset(new uint8_t[size]);
    capacity = size;
  }
  return buffer.get();
}

// The scan's reading of one file: its content, or false when it is empty or can't be read.
bool ReadSearchable(CEbkManager* manager, const std::string& path, std::unique_ptr<uint8_t[]>& buffer,
                    size_t& capacity, std::string_view& content) {
  WideString wide = Utf8ToWide(path);
  uint32_t size = 0;
  if (manager->ReadFile(wide.c_str(), nullptr, &size) != S_OK || size == 0) return false;
  uint8_t* bytes = Reserve(buffer, capacity, size_t(size) + 2);
  uint32_t length = size;
  if (manager->ReadFile(wide.c_str(), bytes, &length) != S_OK || length == 0 || length > size) return false;
  bytes[length] = 0;
  bytes[length + 1] = 0;
  content = std::string_view(reinterpret_cast<const char*>(bytes), length);
  return true;
}

struct PendingRecord {
  std::string path;
  std::string title;
  uint64_t text_offset;
  uint32_t text_length;
  uint32_t alternative_length;
  uint32_t flags;
};

void StoreStamp(uint8_t* header, const BookStamp& stamp) {
  std::memcpy(header + 16, stamp.identity.data(), 16);
  Store64(header + 32, stamp.size);
  Store64(header + 40, uint64_t(stamp.modified_ns));
}

}  // namespace

void SealSearchIndex(std::string& file, const BookStamp& stamp) {
  if (file.size() < kHeaderBytes) return;
  auto* bytes = reinterpret_cast<uint8_t*>(file.data());
  StoreStamp(bytes, stamp);
  StoreU32(bytes + 52, 0);
  Store64(bytes + 112, file.size());
  uint64_t checksum = 0;
  for (size_t at = kHeaderBytes; at < file.size(); at += kChecksumBlock)
    checksum = MixChecksum(checksum, BlockHash(bytes + at, std::min(kChecksumBlock, file.size() - at)));
  Store64(bytes + 120, 0);
  Store64(bytes + 120, MixChecksum(checksum, BlockHash(bytes, kHeaderBytes)));
}

bool StampOfOpenBook(CEbkManager* manager, BookStamp& stamp) {
  int32_t fd = -1;
  if (!manager || manager->GetFileHandle(&fd) != S_OK || fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0) return false;
  stamp.identity = manager->book().identity();
  stamp.size = uint64_t(st.st_size);
  stamp.modified_ns = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

IndexBuildResult BuildSearchIndex(CEbkManager* manager, const std::string& index_path, const SearchCancel* cancel) {
  IndexBuildResult result;
  auto start = std::chrono::steady_clock::now();
  BookStamp stamp;
  if (!StampOfOpenBook(manager, stamp)) return result.error = "no book is open", result;
  std::vector<const FsNode*> files = SearchableFiles(manager->book().directory());
  if (files.size() >= UINT32_MAX) return result.error = "too many files to index", result;

  IndexWriter out;
  if (!out.Begin(index_path, result.error)) return result;
  // The book's size bounds the texts well enough to size the table before reading any.
  PostingBuilder postings(BucketBitsFor(stamp.size));
  uint32_t bucket_bits = BucketBitsFor(stamp.size);
  std::vector<PendingRecord> records;
  records.reserve(files.size());
  std::unique_ptr<uint8_t[]> buffer;
  size_t capacity = 0;
  PageText page;
  uint64_t texts_size = 0;
  for (uint32_t i = 0; i < files.size(); ++i) {
    if (cancel && cancel->cancelled()) {
      result.cancelled = true;
      result.error = "cancelled";
      return result;
    }
    // The index keeps every path anyway; it is made here, as the walk hands out nodes.
    PendingRecord record{SearchPathOf(*files[i]), {}, texts_size, 0, 0, kUnreadable};
    std::string_view content;
    if (ReadSearchable(manager, record.path, buffer, capacity, content)) {
      result.text_bytes += content.size();
      PreparePageText(content, page);
      if (page.folded.size() > UINT32_MAX || page.folded_alternative.size() > UINT32_MAX)
        return result.error = record.path + ": too large to index", result;
      record.flags = page.has_alternative ? kHasAlternative : 0;
      record.text_length = uint32_t(page.folded.size());
      record.alternative_length = uint32_t(page.folded_alternative.size());
      record.title = page.title;
      out.Append(page.folded.data(), page.folded.size());
      out.Append(page.folded_alternative.data(), page.folded_alternative.size());
      texts_size += page.folded.size() + page.folded_alternative.size();
      postings.AddText(page.folded);
      postings.AddText(page.folded_alternative);
    }
    postings.EndFile(i);  // every file, read or not, or the groups would slip
    records.push_back(std::move(record));
  }
  uint64_t records_at = out.offset();
  for (const PendingRecord& r : records) {
    out.AppendU32(uint32_t(r.path.size()));
    out.AppendU32(uint32_t(r.title.size()));
    out.AppendU64(r.text_offset);
    out.AppendU32(r.text_length);
    out.AppendU32(r.alternative_length);
    out.AppendU32(r.flags);
    out.Append(r.path.data(), r.path.size());
    out.Append(r.title.data(), r.title.size());
  }
  uint64_t buckets_at = out.offset();
  uint64_t postings_size = 0;
  if (!postings.Write(out, postings_size, uint32_t(files.size()))) return result.error = "the book is too large to index", result;
  uint64_t postings_at = buckets_at + ((uint64_t(1) << bucket_bits) + 1) * 4;

  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  uint8_t header[kHeaderBytes] = {};
  std::memcpy(header, kMagic, 8);
  StoreU32(header + 8, kVersion);
  StoreU32(header + 12, bucket_bits);
  StoreStamp(header, stamp);
  StoreU32(header + 48, uint32_t(files.size()));
  StoreU32(header + 52, uint32_t(std::min(result.seconds * 1000, double(UINT32_MAX))));
  Store64(header + 56, kHeaderBytes);
  Store64(header + 64, texts_size);
  Store64(header + 72, records_at);
  Store64(header + 80, buckets_at);
  Store64(header + 88, postings_at);
  Store64(header + 96, postings_size);
  Store64(header + 104, result.text_bytes);
  if (!out.Finish(header, result.error)) return result;
  result.ok = true;
  result.files = uint32_t(files.size());
  result.index_bytes = postings_at + postings_size;
  return result;
}

SearchIndex::~SearchIndex() {
  view_.Close();
  if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<SearchIndex> SearchIndex::Open(const std::string& path, CEbkManager* manager, std::string& error) {
  BookStamp stamp;
  if (!StampOfOpenBook(manager, stamp)) return error = "no book is open", nullptr;
  std::unique_ptr<SearchIndex> index(new SearchIndex());
  index->fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (index->fd_ < 0) return error = errno == ENOENT ? "no index" : path + ": " + std::strerror(errno), nullptr;
  struct stat st;
  if (::fstat(index->fd_, &st) != 0 || !S_ISREG(st.st_mode)) return error = path + ": not a file", nullptr;
  const uint64_t size = uint64_t(st.st_size);
  index->view_.Open(index->fd_, int64_t(size));
  auto damaged = [&](const char* why) {
    error = std::string("damaged: ") + why;
    return nullptr;
  };

  uint8_t header[kHeaderBytes];
  if (size < kHeaderBytes || !index->view_.Use(0, kHeaderBytes, [&](const uint8_t* p) {
        std::memcpy(header, p, kHeaderBytes);
        return true;
      }))
    return damaged("shorter than its header");
  if (std::memcmp(header, kMagic, 8) != 0) return damaged("not a search index");
  if (LoadU32(header + 8) != kVersion) return error = "made by another version of the reader", nullptr;
  BookStamp made_for;
  std::memcpy(made_for.identity.data(), header + 16, 16);
  made_for.size = Load64(header + 32);
  made_for.modified_ns = int64_t(Load64(header + 40));
  if (!(made_for == stamp)) return error = "made for another book or another edition of it", nullptr;
  if (Load64(header + 112) != size) return damaged("cut short or grown");

  // Every byte is summed before any is believed.
  uint64_t checksum = 0;
  for (uint64_t at = kHeaderBytes; at < size; at += kChecksumBlock) {
    size_t block = size_t(std::min<uint64_t>(kChecksumBlock, size - at));
    if (!index->view_.Use(int64_t(at), block, [&](const uint8_t* p) {
          checksum = MixChecksum(checksum, BlockHash(p, block));
          return true;
        }))
      return damaged("unreadable");
  }
  const uint64_t stored_checksum = Load64(header + 120);
  Store64(header + 120, 0);
  if (MixChecksum(checksum, BlockHash(header, kHeaderBytes)) != stored_checksum) return damaged("checksum mismatch");

  const uint32_t bits = LoadU32(header + 12);
  const uint32_t count = LoadU32(header + 48);
  const uint64_t texts_at = Load64(header + 56), texts_size = Load64(header + 64);
  const uint64_t records_at = Load64(header + 72), buckets_at = Load64(header + 80);
  const uint64_t postings_at = Load64(header + 88), postings_size = Load64(header + 96);
  if (bits < 10 || bits > kMaxBucketBits) return damaged("bucket count");
  const uint64_t table_bytes = ((uint64_t(1) << bits) + 1) * 4;
  if (texts_at != kHeaderBytes || texts_size > size - texts_at || records_at != texts_at + texts_size ||
      buckets_at < records_at || buckets_at > size || table_bytes > size - buckets_at ||
      postings_at != buckets_at + table_bytes || postings_size != size - postings_at ||
      uint64_t(count) > (buckets_at - records_at) / kRecordFixedBytes)
    return damaged("sections out of place");

  std::vector<uint8_t> records(buckets_at - records_at);
  index->bucket_starts_.resize((size_t(1) << bits) + 1);
  bool copied = index->view_.Use(int64_t(records_at), records.size(), [&](const uint8_t* p) {
    std::memcpy(records.data(), p, records.size());
    return true;
  }) && index->view_.Use(int64_t(buckets_at), table_bytes, [&](const uint8_t* p) {
    for (size_t b = 0; b < index->bucket_starts_.size(); ++b) index->bucket_starts_[b] = LoadU32(p + 4 * b);
    return true;
  });
  if (!copied) return damaged("unreadable");
  for (size_t b = 0; b + 1 < index->bucket_starts_.size(); ++b)
    if (index->bucket_starts_[b] > index->bucket_starts_[b + 1]) return damaged("postings out of order");
  if (index->bucket_starts_.front() != 0 || index->bucket_starts_.back() != postings_size)
    return damaged("postings out of place");

  std::vector<const FsNode*> expected = SearchableFiles(manager->book().directory());
  if (expected.size() != count) return error = "made for other files than the book holds", nullptr;
  index->records_.resize(count);
  size_t at = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (records.size() - at < kRecordFixedBytes) return damaged("records cut short");
    const uint8_t* p = records.data() + at;
    Record& r = index->records_[i];
    uint32_t path_length = LoadU32(p), title_length = LoadU32(p + 4);
    r.text_offset = Load64(p + 8);
    r.text_length = LoadU32(p + 16);
    r.alternative_length = LoadU32(p + 20);
    r.flags = LoadU32(p + 24);
    at += kRecordFixedBytes;
    if (uint64_t(path_length) + title_length > records.size() - at) return damaged("records cut short");
    r.path.assign(reinterpret_cast<const char*>(records.data() + at), path_length);
    r.title.assign(reinterpret_cast<const char*>(records.data() + at + path_length), title_length);
    at += size_t(path_length) + title_length;
    if (r.text_offset > texts_size || uint64_t(r.text_length) + r.alternative_length > texts_size - r.text_offset)
      return damaged("text out of place");
    if (r.flags > (kUnreadable | kHasAlternative)) return damaged("unknown flags");
    if (r.path != SearchPathOf(*expected[i])) return error = "made for other files than the book holds", nullptr;
  }
  if (at != records.size()) return damaged("records out of place");
  index->bucket_bits_ = bits;
  index->texts_at_ = texts_at;
  index->postings_at_ = postings_at;
  index->postings_size_ = postings_size;
  index->file_bytes_ = size;
  index->text_bytes_ = Load64(header + 104);
  index->build_ms_ = LoadU32(header + 52);
  return index;
}

bool SearchIndex::Candidates(const std::vector<std::string>& words, std::vector<uint32_t>& out) const {
  std::vector<uint32_t> buckets;
  for (const std::string& word : words) {
    const auto* t = reinterpret_cast<const uint8_t*>(word.data());
    for (size_t i = 0; i + kSequenceBytes <= word.size(); ++i)
      buckets.push_back(BucketOf(uint32_t(t[i]) | uint32_t(t[i + 1]) << 8 | uint32_t(t[i + 2]) << 16, bucket_bits_));
  }
  std::sort(buckets.begin(), buckets.end());
  buckets.erase(std::unique(buckets.begin(), buckets.end()), buckets.end());
  auto length = [&](uint32_t b) { return bucket_starts_[b + 1] - bucket_starts_[b]; };
  // The shortest list first: the intersection never grows past it.
  std::sort(buckets.begin(), buckets.end(), [&](uint32_t a, uint32_t b) { return length(a) < length(b); });
  const uint32_t count = GroupCount(files());
  std::vector<uint32_t> list, kept;
  list.reserve(count);
  kept.reserve(count);
  bool first = true;
  for (uint32_t bucket : buckets) {
    list.clear();
    bool sound = view_.Use(int64_t(postings_at_ + bucket_starts_[bucket]), length(bucket), [&](const uint8_t* p) {
      const uint8_t* end = p + length(bucket);
      uint64_t group = 0;  // counted from 1 here
      while (p < end) {
        uint64_t delta = 0;
        for (int shift = 0;; shift += 7) {
          if (p == end || shift > 28) return false;
          uint8_t byte = *p++;
          delta |= uint64_t(byte & 0x7F) << shift;
          if (!(byte & 0x80)) break;
        }
        group += delta;
        if (delta == 0 || group > count || list.size() == count) return false;
        list.push_back(uint32_t(group - 1));
      }
      return true;
    });
    if (!sound) return false;
    if (first) {
      out.swap(list);
      first = false;
    } else {
      kept.clear();
      std::set_intersection(out.begin(), out.end(), list.begin(), list.end(), std::back_inserter(kept));
      out.swap(kept);
    }
    if (out.empty()) break;
  }
  return true;
}

SearchIndex::Answer SearchIndex::Search(const std::vector<std::string>& folded_words, std::vector<SearchHit>& hits,
                                        const SearchCancel* cancel, uint64_t max_text_bytes) const {
  bool narrows = std::any_of(folded_words.begin(), folded_words.end(),
                             [](const std::string& w) { return w.size() >= kSequenceBytes; });
  if (!narrows) return Answer::kLeftToScan;
  std::vector<uint32_t> groups, candidates;
  if (!Candidates(folded_words, groups)) return Answer::kLeftToScan;
  uint64_t text_bytes = 0;
  for (uint32_t group : groups)
    for (uint32_t file = group << kGroupShift; file < files() && file < (group + 1) << kGroupShift; ++file) {
      candidates.push_back(file);
      text_bytes += uint64_t(records_[file].text_length) + records_[file].alternative_length;
    }
  if (text_bytes > max_text_bytes) return Answer::kOverBudget;
  std::vector<uint32_t> found;
  for (uint32_t file : candidates) {
    if (cancel && cancel->cancelled()) {
      for (uint32_t f : found) hits.push_back({records_[f].path, records_[f].title});
      return Answer::kCancelled;
    }
    const Record& r = records_[file];
    if (r.flags & kUnreadable) continue;
    bool hit = false;
    bool read = view_.Use(int64_t(texts_at_ + r.text_offset), size_t(r.text_length) + r.alternative_length,
                          [&](const uint8_t* p) {
                            std::string_view text(reinterpret_cast<const char*>(p), r.text_length);
                            std::string_view alternative(reinterpret_cast<const char*>(p) + r.text_length,
                                                         r.alternative_length);
                            hit = AllWordsOccur(folded_words, text, [&]() -> const std::string_view* {
                              return (r.flags & kHasAlternative) ? &alternative : nullptr;
                            });
                            return true;
                          });
    if (!read) return Answer::kLeftToScan;
    if (hit) found.push_back(file);
  }
  hits.reserve(hits.size() + found.size());
  for (uint32_t f : found) hits.push_back({records_[f].path, records_[f].title});
  return Answer::kAnswered;
}

SearchIndexKeeper::SearchIndexKeeper(CEbkManager* manager, std::string index_path)
    : index_path_(std::move(index_path)) {
  manager->AddRef();
  worker_ = std::thread([this, manager] {
    Work(manager);
    manager->Release();
  });
}

SearchIndexKeeper::~SearchIndexKeeper() {
  cancel_.Cancel();
  Wait();
}

void SearchIndexKeeper::Wait() {
  if (worker_.joinable()) worker_.join();
}

std::shared_ptr<const SearchIndex> SearchIndexKeeper::ready() const {
  std::lock_guard lock(mutex_);
  return index_;
}

void SearchIndexKeeper::Work(CEbkManager* manager) {
#ifdef __linux__
  // This thread only: the reader's own work comes first.
  ::setpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid)), 19);
#endif
  std::string why;
  std::unique_ptr<SearchIndex> index = SearchIndex::Open(index_path_, manager, why);
  if (!index) {
    IndexBuildResult built = BuildSearchIndex(manager, index_path_, &cancel_);
    if (!built.ok) return;
    index = SearchIndex::Open(index_path_, manager, why);
  }
  if (!index) return;
  std::lock_guard lock(mutex_);
  index_ = std::move(index);
}

}  // namespace lectern
