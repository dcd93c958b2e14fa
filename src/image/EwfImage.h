// An E01 image read through a libewf handle of our own, handed to The Sleuth Kit as an
// external image so that every read passes here. libewf gives a chunk that fails its checksum
// or will not decompress as zeros and notes it among its checksum errors; each read asks for
// them and keeps the new ones as damaged parts of the image.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "image/ImageDamage.h"

struct TSK_IMG_INFO;

namespace snapsift {

// The damaged parts met so far, in image byte offsets; safe to use from any thread.
class DamageMap : public ImageDamage {
public:
    bool Overlaps(std::uint64_t offset, std::uint64_t length) const override;
    std::uint64_t Count() const override;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> Parts() const override;
    void Add(std::uint64_t offset, std::uint64_t length);

private:
    mutable std::mutex mutex_;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> parts_;  // offset, length
};

class EwfImage {
public:
    // Opens the set's files, in order (found and checked by the caller); nothing, with the
    // reason in `problem`, when libewf cannot. Damaged parts go into `damage`, which must
    // outlive this object.
    static std::unique_ptr<EwfImage> Open(const std::vector<std::string>& files, DamageMap& damage,
                                          std::string& problem);
    ~EwfImage();
    EwfImage(const EwfImage&) = delete;
    EwfImage& operator=(const EwfImage&) = delete;

    // A segment file cut short or missing: libewf reads what is lost as zeros without a word.
    bool SegmentFilesCorrupted() const { return corrupted_; }
    // The digests the image keeps of its data, lower-case hexadecimal; empty when none.
    const std::string& StoredMd5() const { return storedMd5_; }
    const std::string& StoredSha1() const { return storedSha1_; }

    // The Sleuth Kit's image over this one; closed with tsk_img_close before this object goes.
    TSK_IMG_INFO* TskImage() const { return tskImage_; }

private:
    EwfImage() = default;
    ssize_t Read(std::int64_t offset, char* buffer, std::size_t length);
    static ssize_t ReadCallback(TSK_IMG_INFO* image, std::int64_t offset, char* buffer, std::size_t length);
    static void CloseCallback(TSK_IMG_INFO* image);

    struct External;
    void* handle_ = nullptr;  // libewf_handle_t
    DamageMap* damage_ = nullptr;
    std::mutex mutex_;
    std::uint32_t knownErrors_ = 0;
    std::uint32_t bytesPerSector_ = 512;
    bool corrupted_ = false;
    std::string storedMd5_, storedSha1_;
    TSK_IMG_INFO* tskImage_ = nullptr;
};

}  // namespace snapsift
