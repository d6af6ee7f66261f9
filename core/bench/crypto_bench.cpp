//
//  Throughput of the own AES-128-CBC and MD5 beside OpenSSL's EVP routines doing the same work
//  in the same run. After the usual table, a summary gives each pair's MB/s and their ratio
//  (own / OpenSSL; above 1 means the own code is faster).
//
#include "core/crypto/AesCipher.h"
#include "core/crypto/CbcMode.h"
#include "core/crypto/HashAlgorithm.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

const BYTE kKey[16] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                       0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};
const BYTE kIv[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

std::vector<BYTE> Payload(size_t length)
{
    std::vector<BYTE> bytes(length);
    for (size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<BYTE>(i * 131 + 7);
    return bytes;
}

void OwnAesCbc(benchmark::State& state, bool encrypt)
{
    const size_t length = static_cast<size_t>(state.range(0));
    const std::vector<BYTE> in = Payload(length);
    std::vector<BYTE> out(length);
    AesCipher aes;
    CbcMode cbc;
    if (aes.SetKey(kKey, 16, 16) != kCipherOk || cbc.SetIV(aes, kIv, 16) != kCipherOk) {
        state.SkipWithError("keying failed");
        return;
    }
    for (auto _ : state) {
        cbc.Reset(aes);
        const int result = encrypt ? cbc.Encrypt(aes, in.data(), out.data(), length)
                                   : cbc.Decrypt(aes, in.data(), out.data(), length);
        benchmark::DoNotOptimize(result);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(length));
}

void OpenSslAesCbc(benchmark::State& state, bool encrypt)
{
    const size_t length = static_cast<size_t>(state.range(0));
    const std::vector<BYTE> in = Payload(length);
    std::vector<BYTE> out(length);
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                       EVP_CIPHER_CTX_free);
    if (!ctx || EVP_CipherInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, kKey, kIv, encrypt ? 1 : 0) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1) {
        state.SkipWithError("OpenSSL keying failed");
        return;
    }
    for (auto _ : state) {
        int written = 0;
        // A new IV starts a new chain, as Reset does for the own mode.
        EVP_CipherInit_ex(ctx.get(), nullptr, nullptr, nullptr, kIv, encrypt ? 1 : 0);
        EVP_CipherUpdate(ctx.get(), out.data(), &written, in.data(), static_cast<int>(length));
        benchmark::DoNotOptimize(written);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(length));
}

void OwnMd5(benchmark::State& state)
{
    const size_t length = static_cast<size_t>(state.range(0));
    const std::vector<BYTE> in = Payload(length);
    std::unique_ptr<HashAlgorithm> md5(CreateHash(kHashMd5));
    BYTE digest[16];
    for (auto _ : state) {
        md5->Init();
        md5->Update(in.data(), length);
        md5->Final();
        md5->GetDigest(digest, sizeof(digest));
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(length));
}

void OpenSslMd5(benchmark::State& state)
{
    const size_t length = static_cast<size_t>(state.range(0));
    const std::vector<BYTE> in = Payload(length);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    const EVP_MD* md5 = EVP_md5();
    BYTE digest[16];
    for (auto _ : state) {
        unsigned int size = 0;
        EVP_DigestInit_ex(ctx.get(), md5, nullptr);
        EVP_DigestUpdate(ctx.get(), in.data(), length);
        EVP_DigestFinal_ex(ctx.get(), digest, &size);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(length));
}

// Keeps every pair's throughput and prints the side-by-side summary after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration)
                continue;
            const std::string& name = run.run_name.function_name;  // "<work>/<own|openssl>"
            const size_t slash = name.rfind('/');
            const auto rate = run.counters.find("bytes_per_second");
            if (slash == std::string::npos || rate == run.counters.end())
                continue;
            Pair& pair = pairs_[name.substr(0, slash) + " " + run.run_name.args + " bytes"];
            (name.substr(slash + 1) == "own" ? pair.own : pair.reference) = rate->second.value / 1e6;
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n%-34s %12s %12s %8s\n", "work", "own MB/s", "OpenSSL MB/s", "ratio");
        for (const auto& [work, pair] : pairs_)
            std::printf("%-34s %12.1f %12.1f %8.2f\n", work.c_str(), pair.own, pair.reference,
                        pair.reference > 0 ? pair.own / pair.reference : 0.0);
    }

private:
    struct Pair {
        double own = 0;
        double reference = 0;
    };
    std::map<std::string, Pair> pairs_;
};

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<int64_t> sizes = {4096, 1 << 20};
    auto add = [&](const char* name, auto function) {
        for (int64_t size : sizes)
            benchmark::RegisterBenchmark(name, function)->Arg(size);
    };
    add("Aes128CbcEncrypt/own", [](benchmark::State& s) { OwnAesCbc(s, true); });
    add("Aes128CbcEncrypt/openssl", [](benchmark::State& s) { OpenSslAesCbc(s, true); });
    add("Aes128CbcDecrypt/own", [](benchmark::State& s) { OwnAesCbc(s, false); });
    add("Aes128CbcDecrypt/openssl", [](benchmark::State& s) { OpenSslAesCbc(s, false); });
    add("Md5/own", OwnMd5);
    add("Md5/openssl", OpenSslMd5);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
