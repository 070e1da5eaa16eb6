#include "PictureLoader.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE and size_t declared before it
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include <QFile>
#include <QImageReader>

#ifdef Q_OS_UNIX
#include <sys/mman.h>
#endif

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define PIXELION_SSE2
#endif

#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

namespace platform {

namespace {

// The byte order of Format_RGB32 on this machine, with the fourth byte 0xFF.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr J_COLOR_SPACE kOutputSpace = JCS_EXT_BGRA;
#else
constexpr J_COLOR_SPACE kOutputSpace = JCS_EXT_ARGB;
#endif
constexpr qint64 kReadChunk = 64 * 1024;
std::atomic<quint64> gDecodes{0};
constexpr int kBandRows = 16;
constexpr long kMaxDecoderMemory = 512L * 1024 * 1024;

int scaledExtent(int extent, int denominator) {
    return (extent + denominator - 1) / denominator; // libjpeg rounds up
}

// A picture's pixels in memory of their own. Pictures are large, short-lived, made on one thread
// and freed on another: the C library would keep their memory in per-thread heaps after they are
// gone, and the process would grow with every worker. A mapping of their own goes back to the
// system, except for the last two freed: their pages, already touched, serve the next pictures
// of the same size without a page fault for every 4 KB.
#ifdef Q_OS_UNIX
struct Mapping {
    void* address;
    size_t length;
};

class SpareMappings {
public:
    void* take(size_t length) {
        std::lock_guard lock(m_mutex);
        for (auto it = m_spares.begin(); it != m_spares.end(); ++it) {
            if (it->length == length) {
                void* address = it->address;
                m_spares.erase(it);
                return address;
            }
        }
        return nullptr;
    }
    void give(const Mapping& m) {
        std::lock_guard lock(m_mutex);
        if (m_spares.size() == kKept) {
            munmap(m_spares.front().address, m_spares.front().length);
            m_spares.erase(m_spares.begin());
        }
        m_spares.push_back(m);
    }

private:
    static constexpr size_t kKept = 2;
    std::mutex m_mutex;
    std::vector<Mapping> m_spares;
};

SpareMappings& spares() {
    static SpareMappings* const s = new SpareMappings; // freed pictures may outlive statics
    return *s;
}

void releasePicture(void* info) {
    auto* m = static_cast<Mapping*>(info);
    spares().give(*m);
    delete m;
}

// Fresh memory for a picture. Where the system offers huge pages, the whole 2 MB pages of it
// use them: writing a new picture then costs a page fault per 2 MB instead of per 4 KB, which on
// a virtual machine can be a good part of a decode. The rest keeps small pages unless
// `wholeHugePages` rounds it up.
Mapping mapPictureMemory(size_t length, bool wholeHugePages) {
#ifdef MADV_HUGEPAGE
    constexpr size_t kHuge = size_t(2) << 20;
    if (length >= kHuge) {
        // Map a huge page more than needed, then give back what lies outside the aligned span.
        const size_t mapped = wholeHugePages ? (length + kHuge - 1) & ~(kHuge - 1) : length;
        void* raw = mmap(nullptr, mapped + kHuge, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (raw == MAP_FAILED)
            return {nullptr, 0};
        const auto start = reinterpret_cast<uintptr_t>(raw);
        const uintptr_t aligned = (start + kHuge - 1) & ~uintptr_t(kHuge - 1);
        if (aligned > start)
            munmap(raw, aligned - start);
        const size_t tail = (start + mapped + kHuge) - (aligned + mapped);
        if (tail > 0)
            munmap(reinterpret_cast<void*>(aligned + mapped), tail);
        madvise(reinterpret_cast<void*>(aligned), mapped & ~(kHuge - 1), MADV_HUGEPAGE);
        return {reinterpret_cast<void*>(aligned), mapped};
    }
#else
    Q_UNUSED(wholeHugePages);
#endif
    void* address =
        mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return address == MAP_FAILED ? Mapping{nullptr, 0} : Mapping{address, length};
}

// `wholeHugePages` rounds the memory up to whole huge pages: for a picture that lives only a
// moment, where a page fault less matters more than a megabyte.
QImage newPicture(QSize size, bool wholeHugePages = false) {
    const size_t length = size_t(size.width()) * 4 * size_t(size.height());
    if (size.isEmpty() || length / 4 / size_t(size.height()) != size_t(size.width()))
        return {};
    Mapping m{spares().take(length), length};
    if (!m.address && !(m = mapPictureMemory(length, wholeHugePages)).address)
        return {};
    return QImage(static_cast<uchar*>(m.address), size.width(), size.height(), size.width() * 4,
                  QImage::Format_RGB32, releasePicture, new Mapping(m));
}
#else
QImage newPicture(QSize size, bool = false) {
    return QImage(size, QImage::Format_RGB32);
}
#endif

// Four channels of one pixel as floats: SSE2 where the machine has it, plain floats elsewhere.
#ifdef PIXELION_SSE2
using Quad = __m128;
inline Quad quadZero() {
    return _mm_setzero_ps();
}
inline Quad quadOfPixel(const uchar* p) {
    int bytes;
    std::memcpy(&bytes, p, 4);
    const __m128i zero = _mm_setzero_si128();
    const __m128i v = _mm_unpacklo_epi8(_mm_cvtsi32_si128(bytes), zero);
    return _mm_cvtepi32_ps(_mm_unpacklo_epi16(v, zero));
}
inline Quad quadLoad(const float* f) {
    return _mm_loadu_ps(f);
}
inline void quadStore(float* f, Quad q) {
    _mm_storeu_ps(f, q);
}
inline Quad quadMulAdd(Quad acc, Quad v, float w) {
    return _mm_add_ps(acc, _mm_mul_ps(v, _mm_set1_ps(w)));
}
inline void quadToPixel(Quad q, uchar* p) {
    __m128i i = _mm_cvttps_epi32(_mm_add_ps(q, _mm_set1_ps(0.5f)));
    i = _mm_packs_epi32(i, i);
    i = _mm_packus_epi16(i, i);
    const int bytes = _mm_cvtsi128_si32(i);
    std::memcpy(p, &bytes, 4);
}
#else
struct Quad {
    float c[4];
};
inline Quad quadZero() {
    return {{0, 0, 0, 0}};
}
inline Quad quadOfPixel(const uchar* p) {
    return {{float(p[0]), float(p[1]), float(p[2]), float(p[3])}};
}
inline Quad quadLoad(const float* f) {
    return {{f[0], f[1], f[2], f[3]}};
}
inline void quadStore(float* f, Quad q) {
    std::memcpy(f, q.c, sizeof q.c);
}
inline Quad quadMulAdd(Quad acc, Quad v, float w) {
    for (int i = 0; i < 4; ++i)
        acc.c[i] += v.c[i] * w;
    return acc;
}
inline void quadToPixel(Quad q, uchar* p) {
    for (int i = 0; i < 4; ++i) {
        const float v = q.c[i] + 0.5f;
        p[i] = v >= 255.f ? uchar(255) : uchar(v);
    }
}
#endif

// Averages the rows of a picture down to a smaller size as they arrive: each target pixel is the
// mean of the source area it covers, so only two target rows are ever being built. Every byte
// position of a pixel is averaged alike, whatever the channel order.
class AreaScaler {
public:
    AreaScaler(QSize from, QImage& to)
        : m_sw(from.width()), m_sh(from.height()), m_tw(to.width()), m_th(to.height()), m_out(to),
          m_hrow(size_t(m_tw) * 4), m_acc{m_hrow, m_hrow} {
        // In units where a source pixel is m_tw wide and a target pixel m_sw: target x covers
        // [x * m_sw, (x + 1) * m_sw), source i covers [i * m_tw, (i + 1) * m_tw).
        m_cols.reserve(size_t(m_tw));
        for (int x = 0; x < m_tw; ++x) {
            const qint64 from0 = qint64(x) * m_sw, to0 = from0 + m_sw;
            Column c;
            c.first = int(from0 / m_tw);
            c.weights = int(m_weights.size());
            for (qint64 i = c.first; i * m_tw < to0; ++i) {
                const qint64 overlap = std::min(to0, (i + 1) * m_tw) - std::max(from0, i * m_tw);
                m_weights.push_back(float(overlap) / float(m_sw));
            }
            c.count = int(m_weights.size()) - c.weights;
            m_cols.push_back(c);
        }
    }

    void addRow(const uchar* pixels) {
        float* h = m_hrow.data();
        for (const Column& c : m_cols) {
            Quad sum = quadZero();
            const uchar* p = pixels + size_t(c.first) * 4;
            const float* w = m_weights.data() + c.weights;
            for (int j = 0; j < c.count; ++j, p += 4)
                sum = quadMulAdd(sum, quadOfPixel(p), w[j]);
            quadStore(h, sum);
            h += 4;
        }

        // The row lies across at most two target rows, the target being no taller.
        const qint64 start = qint64(m_row) * m_th, end = start + m_th;
        const int to = int(start / m_sh);
        const qint64 boundary = qint64(to + 1) * m_sh;
        const size_t n = size_t(m_tw) * 4;
        float* a = m_acc[to & 1].data();
        accumulate(a, float(std::min(end, boundary) - start) / float(m_sh));
        if (end > boundary)
            accumulate(m_acc[(to + 1) & 1].data(), float(end - boundary) / float(m_sh));
        if (end >= boundary) { // target row `to` is complete
            uchar* out = m_out.scanLine(to);
            for (size_t k = 0; k < n; k += 4)
                quadToPixel(quadLoad(a + k), out + k);
            std::fill(a, a + n, 0.f);
        }
        ++m_row;
    }

private:
    void accumulate(float* acc, float weight) {
        const float* h = m_hrow.data();
        const size_t n = size_t(m_tw) * 4;
        for (size_t k = 0; k < n; k += 4)
            quadStore(acc + k, quadMulAdd(quadLoad(acc + k), quadLoad(h + k), weight));
    }

    struct Column {
        int first = 0;   // first source pixel
        int count = 0;   // source pixels it averages
        int weights = 0; // where their weights start in m_weights
    };
    int m_sw, m_sh, m_tw, m_th;
    QImage& m_out;
    std::vector<Column> m_cols;
    std::vector<float> m_weights;
    std::vector<float> m_hrow;
    std::vector<float> m_acc[2];
    int m_row = 0;
};

// Where the decoded rows go. None of these may throw: they run between libjpeg's calls.
class RowSink {
public:
    virtual ~RowSink() = default;
    virtual bool begin(QSize decoded) noexcept = 0;
    virtual JSAMPARRAY rows(int y, int* count) noexcept = 0;
    virtual void rowsDone(int count) noexcept = 0;
};

// Keeps the picture at the size libjpeg decoded it at.
class ImageSink : public RowSink {
public:
    explicit ImageSink(bool shortLived = false) : m_shortLived(shortLived) {}
    bool begin(QSize decoded) noexcept override {
        try {
            image = newPicture(decoded, m_shortLived);
            if (image.isNull())
                return false;
            m_rows.resize(size_t(decoded.height()));
            for (int y = 0; y < decoded.height(); ++y)
                m_rows[size_t(y)] = image.scanLine(y);
            return true;
        } catch (...) {
            return false;
        }
    }
    JSAMPARRAY rows(int y, int* count) noexcept override {
        *count = image.height() - y;
        return m_rows.data() + y;
    }
    void rowsDone(int) noexcept override {}
    QImage image;

private:
    bool m_shortLived;
    std::vector<JSAMPROW> m_rows;
};

// Brings the rows down to the target size as they come; when the target is larger than what
// libjpeg gives in either direction (a small picture in a large box), keeps the whole picture
// and resizes it at the end.
class ScaleSink : public RowSink {
public:
    explicit ScaleSink(QSize target) : m_target(target) {}
    bool begin(QSize decoded) noexcept override {
        try {
            if (m_target.width() > decoded.width() || m_target.height() > decoded.height())
                return m_whole.begin(decoded);
            m_out = newPicture(m_target);
            if (m_out.isNull())
                return false;
            m_band.resize(size_t(decoded.width()) * 4 * kBandRows);
            for (int i = 0; i < kBandRows; ++i)
                m_bandRows[i] = m_band.data() + size_t(i) * size_t(decoded.width()) * 4;
            m_scaler = std::make_unique<AreaScaler>(decoded, m_out);
            return true;
        } catch (...) {
            return false;
        }
    }
    JSAMPARRAY rows(int y, int* count) noexcept override {
        if (!m_scaler)
            return m_whole.rows(y, count);
        *count = kBandRows;
        return m_bandRows;
    }
    void rowsDone(int count) noexcept override {
        for (int i = 0; i < count && m_scaler; ++i)
            m_scaler->addRow(m_bandRows[i]);
    }
    QImage result() const { return m_scaler ? m_out : resizePicture(m_whole.image, m_target); }

private:
    QSize m_target;
    ImageSink m_whole;
    QImage m_out;
    std::vector<JSAMPLE> m_band;
    JSAMPROW m_bandRows[kBandRows] = {};
    std::unique_ptr<AreaScaler> m_scaler;
};

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool cancelled;
};

struct FileSource {
    jpeg_source_mgr pub;
    QFile* file;
    const std::atomic<bool>* cancel;
    JOCTET buffer[kReadChunk];
};

// Everything libjpeg touches, kept off the stack frame that calls setjmp.
struct Decoder {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    FileSource src;
};

[[noreturn]] void leave(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void onError(j_common_ptr cinfo) {
    (*cinfo->err->format_message)(cinfo, reinterpret_cast<ErrorManager*>(cinfo->err)->message);
    leave(cinfo);
}

// Warnings (corrupt data, a file cut short) do not stop the picture: it shows as far as it goes.
void onMessage(j_common_ptr) {}

bool cancelled(const FileSource* src) {
    return src->cancel && src->cancel->load(std::memory_order_relaxed);
}

void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

boolean fillInput(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<FileSource*>(cinfo->src);
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (cancelled(src)) {
        err->cancelled = true;
        leave(reinterpret_cast<j_common_ptr>(cinfo));
    }
    qint64 got = src->file->read(reinterpret_cast<char*>(src->buffer), kReadChunk);
    if (got < 0) {
        qstrncpy(err->message, "read error", sizeof err->message);
        leave(reinterpret_cast<j_common_ptr>(cinfo));
    }
    if (got == 0) {
        // The file ends early: an end-of-image marker lets libjpeg finish with grey.
        src->buffer[0] = JOCTET(0xFF);
        src->buffer[1] = JOCTET(JPEG_EOI);
        got = 2;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = size_t(got);
    return TRUE;
}

void skipInput(j_decompress_ptr cinfo, long count) {
    auto* src = reinterpret_cast<FileSource*>(cinfo->src);
    while (count > long(src->pub.bytes_in_buffer)) {
        count -= long(src->pub.bytes_in_buffer);
        fillInput(cinfo);
    }
    if (count > 0) {
        src->pub.next_input_byte += count;
        src->pub.bytes_in_buffer -= size_t(count);
    }
}

enum class Outcome { Done, Failed, Cancelled, NotForLibjpeg };

// libjpeg reports errors by longjmp back into this frame, so nothing here has a destructor; all
// state lives in `d` and the sink.
Outcome runDecode(Decoder& d, QFile& file, QSize target, RowSink& sink,
                  const std::atomic<bool>* cancel, DecodeReport* report) {
    d.cinfo.err = jpeg_std_error(&d.err.pub);
    d.err.pub.error_exit = onError;
    d.err.pub.output_message = onMessage;
    d.err.message[0] = '\0';
    d.err.cancelled = false;
    if (setjmp(d.err.jump)) {
        jpeg_destroy_decompress(&d.cinfo);
        if (d.err.cancelled)
            return Outcome::Cancelled;
        // Not a JPEG inside, whatever its name says: Qt's readers know the other formats.
        return d.err.pub.msg_code == JERR_NO_SOI ? Outcome::NotForLibjpeg : Outcome::Failed;
    }
    jpeg_create_decompress(&d.cinfo);
    // A small file can claim a huge progressive picture, whose coefficients libjpeg would hold in
    // memory: past this much it fails instead (it has no backing store to fall back on).
    d.cinfo.mem->max_memory_to_use = kMaxDecoderMemory;
    d.src.file = &file;
    d.src.cancel = cancel;
    d.src.pub.init_source = initSource;
    d.src.pub.fill_input_buffer = fillInput;
    d.src.pub.skip_input_data = skipInput;
    d.src.pub.resync_to_restart = jpeg_resync_to_restart;
    d.src.pub.term_source = termSource;
    d.src.pub.bytes_in_buffer = 0;
    d.src.pub.next_input_byte = nullptr;
    d.cinfo.src = &d.src.pub;

    jpeg_read_header(&d.cinfo, TRUE);
    // The header may claim any size: a file of a kilobyte claiming 20000 x 20000 pixels makes a
    // progressive decode zero-fill gigabytes even at 1/8 scale. Refuse more than 2^28 pixels
    // (16384 x 16384; the largest camera pictures are about 200 MP) before decoding anything.
    if (constexpr qint64 kMaxPixels = qint64(1) << 28;
        qint64(d.cinfo.image_width) * qint64(d.cinfo.image_height) > kMaxPixels) {
        qstrncpy(d.err.message, "the header claims more than 2^28 pixels", sizeof d.err.message);
        jpeg_destroy_decompress(&d.cinfo);
        return Outcome::Failed;
    }
    // CMYK and YCCK pictures need colour handling libjpeg does not do; Qt's reader does it.
    if (d.cinfo.jpeg_color_space != JCS_YCbCr && d.cinfo.jpeg_color_space != JCS_GRAYSCALE &&
        d.cinfo.jpeg_color_space != JCS_RGB) {
        jpeg_destroy_decompress(&d.cinfo);
        return Outcome::NotForLibjpeg;
    }
    const int width = int(d.cinfo.image_width), height = int(d.cinfo.image_height);
    d.cinfo.out_color_space = kOutputSpace;
    d.cinfo.scale_num = 1;
    d.cinfo.scale_denom = unsigned(jpegScaleDenominator(QSize(width, height), target));
    jpeg_start_decompress(&d.cinfo);
    const int outWidth = int(d.cinfo.output_width), outHeight = int(d.cinfo.output_height);
    if (report) {
        report->picture = QSize(width, height);
        report->decoded = QSize(outWidth, outHeight);
        report->scaleDenominator = int(d.cinfo.scale_denom);
    }
    if (!sink.begin(QSize(outWidth, outHeight))) {
        qstrncpy(d.err.message, "out of memory", sizeof d.err.message);
        jpeg_destroy_decompress(&d.cinfo);
        return Outcome::Failed;
    }
    while (int(d.cinfo.output_scanline) < outHeight) {
        if (cancelled(&d.src)) {
            jpeg_destroy_decompress(&d.cinfo);
            return Outcome::Cancelled;
        }
        int count = 0;
        JSAMPARRAY rows = sink.rows(int(d.cinfo.output_scanline), &count);
        const JDIMENSION got = jpeg_read_scanlines(&d.cinfo, rows, JDIMENSION(count));
        sink.rowsDone(int(got));
    }
    jpeg_finish_decompress(&d.cinfo);
    jpeg_destroy_decompress(&d.cinfo);
    return Outcome::Done;
}

// Qt's own reader, for the JPEGs libjpeg cannot turn into RGB by itself.
QImage readWithQt(const QString& path, QSize size) {
    QImageReader reader(path);
    reader.setAutoTransform(false);
    reader.setScaledSize(size);
    QImage image = reader.read();
    if (image.isNull())
        throw RuntimeError(QStringLiteral("cannot decode %1: %2").arg(path, reader.errorString()));
    return image.format() == QImage::Format_RGB32 ? image
                                                  : image.convertToFormat(QImage::Format_RGB32);
}

// Decodes into `sink`; false when Qt's reader has to do the work instead.
bool decodeInto(const QString& path, QSize target, RowSink& sink, const std::atomic<bool>* cancel,
                DecodeReport* report) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(QStringLiteral("cannot open %1: %2").arg(path, file.errorString()));
    auto d = std::make_unique<Decoder>();
    switch (runDecode(*d, file, target, sink, cancel, report)) {
    case Outcome::Done:
        return true;
    case Outcome::NotForLibjpeg:
        return false;
    case Outcome::Cancelled:
        throw DecodeCancelled(QStringLiteral("decode of %1 cancelled").arg(path));
    case Outcome::Failed:
        break;
    }
    throw RuntimeError(
        QStringLiteral("cannot decode %1: %2").arg(path, QString::fromLocal8Bit(d->err.message)));
}

} // namespace

quint64 decodesSoFar() {
    return gDecodes;
}

int jpegScaleDenominator(const QSize& picture, const QSize& size) {
    int denominator = 8;
    while (denominator > 1 && (scaledExtent(picture.width(), denominator) < size.width() ||
                               scaledExtent(picture.height(), denominator) < size.height()))
        denominator /= 2;
    return denominator;
}

QImage resizePicture(const QImage& decoded, const QSize& requested) {
    const QSize size = requested.expandedTo(QSize(1, 1));
    if (decoded.size() == size)
        return decoded;
    if (size.width() > decoded.width() || size.height() > decoded.height())
        return decoded.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_RGB32);
    const QImage source = decoded.convertToFormat(QImage::Format_RGB32);
    QImage out = newPicture(size);
    if (out.isNull())
        throw RuntimeError(QStringLiteral("out of memory for a picture"));
    AreaScaler scaler(source.size(), out);
    for (int y = 0; y < source.height(); ++y)
        scaler.addRow(source.constScanLine(y));
    return out;
}

QImage loadPicture(const QString& path, const QSize& size, const std::atomic<bool>* cancel,
                   DecodeReport* report) {
    ++gDecodes;
    // A box of no size shows nothing, but the file must still prove decodable.
    const QSize target = size.expandedTo(QSize(1, 1));
    ScaleSink sink(target);
    if (!decodeInto(path, target, sink, cancel, report)) {
        if (report)
            *report = {};
        return readWithQt(path, target);
    }
    return sink.result();
}

QImage decodeForSize(const QString& path, const QSize& size, const std::atomic<bool>* cancel,
                     DecodeReport* report) {
    ++gDecodes;
    const QSize target = size.expandedTo(QSize(1, 1));
    ImageSink sink(true); // only until the picture has been resized
    if (!decodeInto(path, target, sink, cancel, report)) {
        if (report)
            *report = {};
        return readWithQt(path, target);
    }
    return sink.image;
}

} // namespace platform
