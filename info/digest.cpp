#include "digest.h"

#include <zlib.h>

#include <cstdio>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#include <bcrypt.h>
#else
#include <openssl/evp.h>
#endif

namespace info {

namespace {

std::string Hex(const unsigned char* bytes, std::size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < size; i++) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

// One hash algorithm of the platform's library.
class Hash {
public:
#ifdef _WIN32
    explicit Hash(const wchar_t* algorithm) {
        if (BCryptOpenAlgorithmProvider(&provider_, algorithm, nullptr, 0) != 0 ||
            BCryptCreateHash(provider_, &hash_, nullptr, 0, nullptr, 0, 0) != 0) {
            throw std::runtime_error("no hash provider");
        }
        DWORD got = 0;
        BCryptGetProperty(provider_, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&length_),
                          sizeof length_, &got, 0);
    }
    ~Hash() {
        if (hash_ != nullptr) BCryptDestroyHash(hash_);
        if (provider_ != nullptr) BCryptCloseAlgorithmProvider(provider_, 0);
    }
    void Update(const std::uint8_t* data, std::size_t size) {
        // BCryptHashData takes at most 4 GiB at a time.
        while (size > 0) {
            const ULONG piece = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
            BCryptHashData(hash_, const_cast<PUCHAR>(data), piece, 0);
            data += piece;
            size -= piece;
        }
    }
    std::string Finish() {
        unsigned char digest[64];
        BCryptFinishHash(hash_, digest, length_, 0);
        return Hex(digest, length_);
    }

private:
    BCRYPT_ALG_HANDLE provider_ = nullptr;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
    DWORD length_ = 0;
#else
    explicit Hash(const EVP_MD* algorithm) : context_(EVP_MD_CTX_new()) {
        if (context_ == nullptr || EVP_DigestInit_ex(context_, algorithm, nullptr) != 1) {
            throw std::runtime_error("no hash");
        }
    }
    ~Hash() { EVP_MD_CTX_free(context_); }
    void Update(const std::uint8_t* data, std::size_t size) {
        EVP_DigestUpdate(context_, data, size);
    }
    std::string Finish() {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        EVP_DigestFinal_ex(context_, digest, &length);
        return Hex(digest, length);
    }

private:
    EVP_MD_CTX* context_;
#endif
    Hash(const Hash&) = delete;
    Hash& operator=(const Hash&) = delete;
};

#ifdef _WIN32
#define D88_MD5 BCRYPT_MD5_ALGORITHM
#define D88_SHA1 BCRYPT_SHA1_ALGORITHM
#define D88_SHA256 BCRYPT_SHA256_ALGORITHM
#else
#define D88_MD5 EVP_md5()
#define D88_SHA1 EVP_sha1()
#define D88_SHA256 EVP_sha256()
#endif

class LibraryDigester : public Digester {
public:
    explicit LibraryDigester(bool sha1Only) : sha1Only_(sha1Only), sha1_(D88_SHA1) {
        if (!sha1Only_) {
            md5_ = std::make_unique<Hash>(D88_MD5);
            sha256_ = std::make_unique<Hash>(D88_SHA256);
        }
    }

    void Update(const std::uint8_t* data, std::size_t size) override {
        sha1_.Update(data, size);
        if (sha1Only_) return;
        // zlib's crc32 takes at most 4 GiB at a time.
        for (std::size_t done = 0; done < size;) {
            const std::size_t piece = size - done > 0x40000000u ? 0x40000000u : size - done;
            crc_ = crc32(crc_, data + done, static_cast<uInt>(piece));
            done += piece;
        }
        md5_->Update(data, size);
        sha256_->Update(data, size);
    }

    DigestSet Finish() override {
        DigestSet set;
        set.sha1 = sha1_.Finish();
        if (sha1Only_) return set;
        char crc[9];
        std::snprintf(crc, sizeof crc, "%08lx", static_cast<unsigned long>(crc_ & 0xFFFFFFFFu));
        set.crc32 = crc;
        set.md5 = md5_->Finish();
        set.sha256 = sha256_->Finish();
        return set;
    }

private:
    bool sha1Only_;
    uLong crc_ = crc32(0L, Z_NULL, 0);
    Hash sha1_;
    std::unique_ptr<Hash> md5_;
    std::unique_ptr<Hash> sha256_;
};

}  // namespace

std::unique_ptr<Digester> MakeDigester(bool sha1Only) {
    return std::make_unique<LibraryDigester>(sha1Only);
}

}  // namespace info
