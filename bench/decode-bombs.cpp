// Decoding cached bodies: each file named is a body stored under the Content-Encoding given, decoded
// in pieces into an MD5 (DecodeBodyInPieces, as a scan digests a body) or whole into bytes that are
// then digested (DecodeBody). Run by bench/decode-bombs.sh under /usr/bin/time, which compares the
// peak memory of bombs and of plain bodies. Prints the digest, or why there is none, for each file.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "cache/BodyDecoding.h"
#include "hash/MD5.h"

namespace {

int Usage() {
    std::cerr << "usage: bench_decode-bombs pieces|whole CONTENT-ENCODING FILE...\n";
    return 2;
}

std::vector<std::uint8_t> Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return Usage();
    const std::string mode = argv[1], encoding = argv[2];
    if (mode != "pieces" && mode != "whole") return Usage();

    std::uint64_t decodedBytes = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 3; i < argc; ++i) {
        const std::vector<std::uint8_t> stored = Read(argv[i]);
        snapsift::MD5 md5;
        md5.Init();
        snapsift::DecodedBody::Outcome outcome;
        std::string note;
        if (mode == "pieces") {
            const snapsift::BodyDecoding decoding =
                snapsift::DecodeBodyInPieces(encoding, stored, [&md5](std::span<const std::uint8_t> piece) { md5.Update(piece); });
            outcome = decoding.outcome;
            note = decoding.note;
            decodedBytes += decoding.decodedSize;
        } else {
            const snapsift::DecodedBody body = snapsift::DecodeBody(encoding, stored);
            outcome = body.outcome;
            note = body.note;
            md5.Update({reinterpret_cast<const std::uint8_t*>(body.bytes.data()), body.bytes.size()});
            decodedBytes += body.bytes.size();
        }
        if (outcome == snapsift::DecodedBody::Outcome::NotEncoded) md5.Update(stored);
        const bool digested = outcome == snapsift::DecodedBody::Outcome::Decoded ||
                              outcome == snapsift::DecodedBody::Outcome::NotEncoded;
        std::printf("%s  %s\n", digested ? md5.Final().c_str() : note.c_str(), argv[i]);
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::fprintf(stderr, "%d bodies, %.1f MiB decoded, in %.3f s\n", argc - 3, decodedBytes / 1048576.0, elapsed.count());
    return 0;
}
