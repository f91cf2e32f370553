#pragma once

// The mbox side of the mail filter: the stretches of whole mails read from a mailbox in order (TMboxStretches), and
// the mails of one stretch as a worker finds them (TMboxSplitter). Only the mail filter uses these.

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define QUORRA_MBOX_AVX2 1
#endif
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pelmsg.h"

namespace quorra::mbox_filter {

// The unwrap of one mail with the reason it failed, as the worker leaves it.
struct TOutcome {
    pelmsg::TUnwrapResult Result;
    std::string Failure; // an exception's text
};

// One mail of a mailbox: read in order, unwrapped by a worker, written in the order it came.
struct TMail {
    std::string Name; // the mbox "From " line, or the Maildir path
    std::string_view Mail; // the mail: a view of its job's bytes, or of Owned
    std::string Owned; // the mail's bytes when they are not in the mailbox as they are
    std::string_view Stretch; // in an mbox: the mail's whole stretch of the file, written back as it is if unchanged
    bool OverLimit = false; // too long to unwrap: the stretch goes out as it came
    bool MayHoldTnef = true; // false when its bytes prove it holds no TNEF part (pelmsg::MayHoldTnefPart)
    TOutcome Outcome;
};

// Bytes read from an mbox, in a buffer that is used again for later stretches: its pages are mapped once, and the
// kernel copies the file into memory that is already the process's, as cat does (a mapped file faulted in page by
// page cost the filter half its time, as measured). A buffer of a megabyte or more is made of whole huge pages
// where the system offers them, so that copying the file in and out and scanning it miss the TLB far less (8 % of
// the filter's processor time on a gigabyte mailbox, as measured).
struct TFree {
    void operator()(char* p) const { std::free(p); }
};
struct TBuffer {
    std::unique_ptr<char[], TFree> Bytes;
    size_t Capacity = 0;
    size_t Size = 0;
    std::string_view View() const { return std::string_view(Bytes.get(), Size); }
};

// What a worker takes at a time: one mail of a Maildir folder, or a stretch of an mbox file of whole mails that the
// worker splits into its mails itself, so that finding the mails runs on every core too. A mail too long for the
// limit is not held whole: its bytes come as stretches that go out as they came (PassThrough).
struct TJob {
    std::vector<TMail> Mails;
    bool Mbox = false;
    bool PassThrough = false;
    TBuffer Buffer;
    size_t Begin = 0; // where in Buffer the bytes of a PassThrough stretch begin
    std::string Error; // why the stretch could not be split
    bool Done = false;
    size_t Bytes() const { return Mbox ? Buffer.Size : (Mails.empty() ? 0 : Mails.front().Mail.size()); }
};

// The mails of an mbox stretch, found where they stand: each mail is a view of the stretch, copied only when a line
// quoted as ">From " must lose its ">". The mails are those TMboxReader reads (a mail starts at a "From " line at the
// start or after an empty line, which belongs to the separator). The stretch starts at a mail and ends where the
// next one starts or where the mailbox ends. The same pass over the bytes that finds the mails tells, for each mail,
// whether it may hold a TNEF part (pelmsg::MayHoldTnefPart), so that a mail is read once.
class TMboxSplitter {
public:
    TMboxSplitter(std::string_view stretch, size_t maxMailBytes)
        : data_(stretch.data())
        , size_(stretch.size())
        , maxMailBytes_(maxMailBytes)
    {
    }

    // Splits the stretch into its mails, handing each mail that can be unwrapped to `each` as soon as it is found,
    // while its bytes are still in the processor's cache.
    template <class Each> void Split(std::vector<TMail>& mails, Each each) const
    {
        const size_t first = mails.size();
        for (size_t at = 0; at < size_;) {
            TMail& mail = mails.emplace_back();
            at = MailAt(at, mail);
            if (!mail.OverLimit)
                each(mail);
        }
        // A mail that lost the ">" of a quoted line is a view of its own copy, which a short copy holds in place:
        // the vector's growth moved it, so the view is set again.
        for (size_t i = first; i < mails.size(); ++i)
            if (!mails[i].Owned.empty())
                mails[i].Mail = mails[i].Owned;
    }

    // ">From ", ">>From ", ...: a line to unquote.
    static bool QuotedFromLine(std::string_view line)
    {
        size_t i = 0;
        while (i < line.size() && line[i] == '>')
            ++i;
        return i > 0 && line.substr(i, 5) == "From ";
    }

    // Whether a mail starts at `at` of these bytes, which begin at a mail (or at the mailbox's first byte that is
    // not an empty line): a "From " line after an empty line. Needs the five bytes from `at`.
    static bool MailStartsAt(const char* data, size_t size, size_t at)
    {
        if (at < 2 || size - at < 5 || data[at - 1] != '\n' || std::memcmp(data + at, "From ", 5) != 0)
            return false;
        return data[at - 2] == '\n' || (at >= 3 && data[at - 2] == '\r' && data[at - 3] == '\n');
    }

private:
    bool IsFromAt(size_t at) const { return size_ - at >= 5 && std::memcmp(data_ + at, "From ", 5) == 0; }

    // Where the empty line ending at the line break nl starts ("\n" or "\r\n" alone), or size_ when the line is
    // not empty.
    size_t EmptyLineEndingAt(size_t nl) const
    {
        if (nl == 0 || data_[nl - 1] == '\n')
            return nl;
        if (data_[nl - 1] == '\r' && (nl == 1 || data_[nl - 2] == '\n'))
            return nl - 1;
        return size_;
    }

    // Reads the mail that starts at `start` into `mail`; returns where the next one starts (size_ at the end).
    size_t MailAt(size_t start, TMail& mail) const
    {
        size_t mailBegin = start;
        if (IsFromAt(start)) {
            const char* nl = static_cast<const char*>(std::memchr(data_ + start, '\n', size_ - start));
            const size_t lineEnd = nl ? static_cast<size_t>(nl - data_) : size_;
            mail.Name.assign(data_ + start, lineEnd - start);
            while (!mail.Name.empty() && mail.Name.back() == '\r')
                mail.Name.pop_back();
            mailBegin = nl ? lineEnd + 1 : size_;
        }
        // Only lines that start with "F" or ">" matter: the first "From " line after an empty line starts the next
        // mail (the empty line ends this one), and a ">From " line must lose its ">". On the way, the first trace
        // of a TNEF signature, read as if the mail ran to the end of the stretch.
        size_t mailEnd = size_, next = size_;
        bool quoted = mailBegin < size_ && data_[mailBegin] == '>' && QuotedFromLine(LineAt(mailBegin));
        const std::string_view rest(data_ + mailBegin, size_ - mailBegin);
        size_t trace = kNoTrace;
        auto isTrace = [&](size_t at) { return pelmsg::IsTnefTraceAt(rest, at - mailBegin); };
        for (size_t nl = NextMarkedLine(mailBegin, trace, isTrace); nl < size_;
             nl = NextMarkedLine(nl + 1, trace, isTrace)) {
            const size_t line = nl + 1;
            if (data_[line] == '>') {
                quoted = quoted || QuotedFromLine(LineAt(line));
                continue;
            }
            if (!IsFromAt(line))
                continue;
            const size_t empty = EmptyLineEndingAt(nl);
            if (empty != size_ && empty >= mailBegin) {
                mailEnd = empty;
                next = line;
                break;
            }
        }
        // The last mail of the mailbox keeps everything but a final empty line, which the mbox added; the last mail
        // of a stretch that another follows ends before the empty line that separates them.
        if (next == size_ && mailEnd > mailBegin && data_[mailEnd - 1] == '\n') {
            const size_t empty = EmptyLineEndingAt(mailEnd - 1);
            if (empty != size_ && empty >= mailBegin)
                mailEnd = empty;
        }
        mail.Stretch = std::string_view(data_ + start, next - start);
        mail.Mail = std::string_view(data_ + mailBegin, mailEnd - mailBegin);
        if (mailEnd - mailBegin > maxMailBytes_) {
            mail.OverLimit = true;
            mail.Outcome.Result.Reason = "the mail is longer than " + std::to_string(maxMailBytes_) + " bytes";
            return next;
        }
        if (quoted) {
            mail.Owned = Unquoted(mail.Mail);
            mail.Mail = mail.Owned;
            mail.MayHoldTnef = pelmsg::MayHoldTnefPart(mail.Mail);
        } else {
            // A trace found may have looked past the mail's end: asked again of the mail alone, and if it is none
            // there, the rest of the mail is looked at as MayHoldTnefPart does. No trace in the longer bytes, none
            // in the mail.
            const size_t at = trace - mailBegin;
            mail.MayHoldTnef = trace < mailEnd
                && (pelmsg::IsTnefTraceAt(mail.Mail, at) || pelmsg::MayHoldTnefPart(mail.Mail, at + 1));
        }
        return next;
    }

    std::string_view LineAt(size_t at) const
    {
        const void* nl = std::memchr(data_ + at, '\n', size_ - at);
        return std::string_view(
            data_ + at, nl ? static_cast<size_t>(static_cast<const char*>(nl) - data_) + 1 - at : size_ - at);
    }

    static constexpr size_t kNoTrace = static_cast<size_t>(-1);

    // The first line break at or after `from` whose next byte is "F" or ">" (size_ when none): sixteen or
    // thirty-two bytes a step, since a mailbox is a gigabyte of lines of which a handful matter. While `trace` is
    // kNoTrace, each byte 9F, "=" or "+" before that line break is offered to isTrace(at), and the first it
    // accepts is kept in `trace`.
    template <class IsTrace> size_t NextMarkedLine(size_t from, size_t& trace, IsTrace& isTrace) const
    {
        size_t i = from;
        // Offers the bytes `candidates` marks (a bit each, from `base` on) that come before the first line that
        // `lines` marks; true once a trace is found.
        auto offer = [&](size_t base, unsigned candidates, unsigned lines) {
            if (lines != 0)
                candidates &= (lines & (0u - lines)) - 1;
            for (; candidates != 0 && trace == kNoTrace; candidates &= candidates - 1) {
                const size_t at = base + static_cast<size_t>(__builtin_ctz(candidates));
                if (isTrace(at))
                    trace = at;
            }
            return trace != kNoTrace;
        };
#if defined(QUORRA_MBOX_AVX2)
        if (avx2_) {
            const size_t found = MarkedLineAvx2(i, trace == kNoTrace, offer);
            if (found != kNoTrace)
                return found;
        }
#endif
#if defined(__SSE2__)
        const __m128i lineBreak = _mm_set1_epi8('\n');
        const __m128i f = _mm_set1_epi8('F');
        const __m128i quote = _mm_set1_epi8('>');
        const __m128i byte9F = _mm_set1_epi8(static_cast<char>(0x9F));
        const __m128i equals = _mm_set1_epi8('=');
        const __m128i plus = _mm_set1_epi8('+');
        for (; i + 17 <= size_; i += 16) {
            const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data_ + i));
            const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data_ + i + 1));
            const __m128i hit = _mm_and_si128(
                _mm_cmpeq_epi8(here, lineBreak), _mm_or_si128(_mm_cmpeq_epi8(after, f), _mm_cmpeq_epi8(after, quote)));
            const auto lines = static_cast<unsigned>(_mm_movemask_epi8(hit));
            if (trace == kNoTrace) {
                const __m128i traces = _mm_or_si128(_mm_cmpeq_epi8(here, byte9F),
                    _mm_or_si128(_mm_cmpeq_epi8(here, equals), _mm_cmpeq_epi8(here, plus)));
                if (const auto candidates = static_cast<unsigned>(_mm_movemask_epi8(traces)))
                    offer(i, candidates, lines);
            }
            if (lines != 0)
                return i + static_cast<size_t>(__builtin_ctz(lines));
        }
#endif
        for (; i < size_; ++i) {
            const char c = data_[i];
            if (trace == kNoTrace && (c == '\x9F' || c == '=' || c == '+') && isTrace(i))
                trace = i;
            if (c == '\n' && i + 1 < size_ && (data_[i + 1] == 'F' || data_[i + 1] == '>'))
                return i;
        }
        return size_;
    }

#if defined(QUORRA_MBOX_AVX2)
    // NextMarkedLine's steps of thirty-two bytes; returns kNoTrace where fewer than 33 bytes are left, with `i`
    // where they begin.
    template <class Offer>
    __attribute__((target("avx2"))) size_t MarkedLineAvx2(size_t& i, bool traces, Offer& offer) const
    {
        const __m256i lineBreak = _mm256_set1_epi8('\n');
        const __m256i f = _mm256_set1_epi8('F');
        const __m256i quote = _mm256_set1_epi8('>');
        const __m256i byte9F = _mm256_set1_epi8(static_cast<char>(0x9F));
        const __m256i equals = _mm256_set1_epi8('=');
        const __m256i plus = _mm256_set1_epi8('+');
        for (; i + 33 <= size_; i += 32) {
            const __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data_ + i));
            const __m256i after = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data_ + i + 1));
            const __m256i hit = _mm256_and_si256(_mm256_cmpeq_epi8(here, lineBreak),
                _mm256_or_si256(_mm256_cmpeq_epi8(after, f), _mm256_cmpeq_epi8(after, quote)));
            const auto lines = static_cast<unsigned>(_mm256_movemask_epi8(hit));
            if (traces) {
                const __m256i candidates = _mm256_or_si256(_mm256_cmpeq_epi8(here, byte9F),
                    _mm256_or_si256(_mm256_cmpeq_epi8(here, equals), _mm256_cmpeq_epi8(here, plus)));
                if (const auto bits = static_cast<unsigned>(_mm256_movemask_epi8(candidates)))
                    traces = !offer(i, bits, lines);
            }
            if (lines != 0)
                return i + static_cast<size_t>(__builtin_ctz(lines));
        }
        return kNoTrace;
    }
#endif

    static std::string Unquoted(std::string_view mail)
    {
        std::string out;
        out.reserve(mail.size());
        size_t pos = 0;
        while (pos < mail.size()) {
            size_t end = mail.find('\n', pos);
            end = end == std::string_view::npos ? mail.size() : end + 1;
            const std::string_view line = mail.substr(pos, end - pos);
            out.append(QuotedFromLine(line) ? line.substr(1) : line);
            pos = end;
        }
        return out;
    }

    const char* data_;
    size_t size_;
    size_t maxMailBytes_;
#if defined(QUORRA_MBOX_AVX2)
    bool avx2_ = __builtin_cpu_supports("avx2");
#endif
};

// Reads an mbox from a descriptor front to back (a file, or a pipe) and cuts it into stretches of whole mails for
// the workers: a stretch of about kStretchBytes is read, and cut where its last mail starts; that mail's bytes move
// on to the next stretch. A mail longer than the limit is not held whole: once the bytes read since it started pass
// the limit and a stretch, they go out as they came, stretch by stretch, up to the next mail. Memory holds a few
// stretches and the largest mail under the limit, never the mailbox.
class TMboxStretches {
public:
    TMboxStretches(int fd, size_t stretchBytes, size_t maxMailBytes)
        : fd_(fd)
        , stretchBytes_(std::max<size_t>(stretchBytes, 64))
        , maxMailBytes_(maxMailBytes)
    {
    }

    // The next stretch for a worker; false at the end of the mailbox. Raises EFileError when the input cannot be
    // read.
    bool Next(TJob& job)
    {
        job.Mbox = true;
        if (passThrough_)
            return NextPassThrough(job);
        for (;;) {
            while (!eof_ && pending_.Size < stretchBytes_)
                ReadMore(stretchBytes_ - pending_.Size);
            if (pending_.Size == 0)
                return false;
            if (eof_) {
                job.Buffer = std::move(pending_);
                pending_ = {};
                return true;
            }
            // The last mail that starts in what was read: the stretch ends there.
            const size_t cut = LastMailStart();
            if (cut != 0) {
                job.Buffer = TakeBuffer(pending_.Size - cut + stretchBytes_);
                std::memcpy(job.Buffer.Bytes.get(), pending_.Bytes.get() + cut, pending_.Size - cut);
                job.Buffer.Size = pending_.Size - cut;
                pending_.Size = cut;
                std::swap(job.Buffer, pending_);
                searched_ = 0;
                return true;
            }
            // One mail so far, and longer than a stretch: read on until it ends, or past the limit.
            searched_ = pending_.Size;
            if (pending_.Size > maxMailBytes_ + stretchBytes_) {
                passThrough_ = true;
                TMail& mail = job.Mails.emplace_back();
                mail.OverLimit = true;
                if (pending_.View().starts_with("From ")) {
                    const std::string_view line = pending_.View().substr(0, pending_.View().find('\n'));
                    mail.Name.assign(line.substr(0, std::min<size_t>(line.size(), 4096)));
                    while (!mail.Name.empty() && mail.Name.back() == '\r')
                        mail.Name.pop_back();
                }
                mail.Outcome.Result.Reason = "the mail is longer than " + std::to_string(maxMailBytes_) + " bytes";
                return NextPassThrough(job);
            }
            ReadMore(std::max(stretchBytes_, pending_.Size / 2));
        }
    }

    // A buffer a written stretch no longer needs, kept for a later stretch (not one grown for a long mail).
    void GiveBack(TBuffer buffer)
    {
        if (buffer.Capacity <= 2 * stretchBytes_ && spare_.size() < 16) {
            buffer.Size = 0;
            spare_.push_back(std::move(buffer));
        }
    }

private:
    TBuffer TakeBuffer(size_t capacity)
    {
        capacity = std::max(capacity, stretchBytes_ + stretchBytes_ / 4);
        while (!spare_.empty()) {
            TBuffer buffer = std::move(spare_.back());
            spare_.pop_back();
            if (buffer.Capacity >= capacity)
                return buffer;
        }
        TBuffer buffer;
        constexpr size_t kHugePage = size_t { 2 } << 20;
        const bool huge = capacity >= kHugePage / 2;
        if (huge)
            capacity = (capacity + kHugePage - 1) / kHugePage * kHugePage;
        buffer.Bytes = std::unique_ptr<char[], TFree>(
            static_cast<char*>(huge ? std::aligned_alloc(kHugePage, capacity) : std::malloc(capacity)));
        if (!buffer.Bytes)
            throw std::bad_alloc();
        if (huge)
            ::madvise(buffer.Bytes.get(), capacity, MADV_HUGEPAGE);
        buffer.Capacity = capacity;
        return buffer;
    }

    // Reads at least one more byte into pending_ (room for `want` more made first), or finds the end. Empty lines
    // before the first mail hold no mail and are dropped.
    void ReadMore(size_t want)
    {
        if (pending_.Capacity - pending_.Size < want) {
            TBuffer bigger = TakeBuffer(pending_.Size + want);
            if (pending_.Size > 0)
                std::memcpy(bigger.Bytes.get(), pending_.Bytes.get(), pending_.Size);
            bigger.Size = pending_.Size;
            GiveBack(std::move(pending_));
            pending_ = std::move(bigger);
        }
        for (;;) {
            const ssize_t n = ::read(fd_, pending_.Bytes.get() + pending_.Size, pending_.Capacity - pending_.Size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                throw pelmsg::EFileError(std::string("Cannot read the mailbox: ") + std::strerror(errno));
            if (n == 0)
                eof_ = true;
            pending_.Size += static_cast<size_t>(n);
            break;
        }
        if (!started_) {
            const char* data = pending_.Bytes.get();
            size_t skip = 0;
            while (skip < pending_.Size
                && (data[skip] == '\n' || (data[skip] == '\r' && skip + 1 < pending_.Size && data[skip + 1] == '\n')))
                skip += data[skip] == '\n' ? 1 : 2;
            std::memmove(pending_.Bytes.get(), data + skip, pending_.Size - skip);
            pending_.Size -= skip;
            // A lone "\r" at the end of what was read may still be the start of an empty line.
            started_ = pending_.Size > 1 || (pending_.Size == 1 && (eof_ || data[0] != '\r'));
        }
    }

    // Where the last mail that starts after the first byte of pending_ starts; 0 when none does. Looks only at what
    // was read since the last look.
    size_t LastMailStart() const
    {
        const char* data = pending_.Bytes.get();
        const size_t floor = searched_ > 8 ? searched_ - 8 : 0;
        size_t end = pending_.Size;
        while (end > floor) {
            const void* nl = ::memrchr(data + floor, '\n', end - floor);
            if (!nl)
                break;
            const size_t at = static_cast<size_t>(static_cast<const char*>(nl) - data) + 1;
            if (TMboxSplitter::MailStartsAt(data, pending_.Size, at))
                return at;
            end = at - 1;
        }
        return 0;
    }

    // The next stretch of a mail over the limit, up to where the next mail starts.
    bool NextPassThrough(TJob& job)
    {
        job.PassThrough = true;
        // pending_ holds bytes not yet handed out after kept_ bytes that were: the context a mail start right after
        // them needs.
        while (!eof_ && pending_.Size - kept_ < stretchBytes_)
            ReadMore(stretchBytes_);
        const char* data = pending_.Bytes.get();
        size_t end = pending_.Size;
        bool ends = eof_;
        for (size_t at = kept_; at < pending_.Size;) {
            const void* nl = std::memchr(data + at, '\n', pending_.Size - at);
            if (!nl)
                break;
            const size_t line = static_cast<size_t>(static_cast<const char*>(nl) - data) + 1;
            if (line >= kept_ && TMboxSplitter::MailStartsAt(data, pending_.Size, line)) {
                end = line;
                ends = true;
                break;
            }
            at = line;
        }
        // Without the next mail in sight, the last few bytes stay: a mail may start in them.
        if (!ends)
            end = pending_.Size - std::min<size_t>(pending_.Size - kept_, 5);
        // The bytes after the stretch move to a buffer of their own: the next mail, or the rest of this one after
        // a few bytes of context. The stretch keeps the buffer it was read into (a long mail is not copied).
        const size_t keep = ends ? 0 : std::min<size_t>(end, 3);
        TBuffer rest = TakeBuffer(pending_.Size - end + keep + stretchBytes_);
        std::memcpy(rest.Bytes.get(), data + end - keep, pending_.Size - end + keep);
        rest.Size = pending_.Size - end + keep;
        job.Buffer = std::move(pending_);
        job.Buffer.Size = end;
        job.Begin = kept_;
        pending_ = std::move(rest);
        kept_ = keep;
        passThrough_ = !ends;
        searched_ = 0;
        return true;
    }

    int fd_;
    size_t stretchBytes_;
    size_t maxMailBytes_;
    TBuffer pending_; // read, not yet handed to a worker: from a mail's start on
    std::vector<TBuffer> spare_;
    size_t searched_ = 0; // how much of pending_ is known to hold no mail start after its first byte
    size_t kept_ = 0;
    bool eof_ = false;
    bool started_ = false;
    bool passThrough_ = false;
};

} // namespace quorra::mbox_filter
