// quorlan-sign: the maker's tool for signed updates.
//   quorlan-sign keygen [--secret-out FILE]
//       prints the public key (hex) on the first line; the secret key (hex)
//       goes to FILE (created owner-only, never overwritten) or, without the
//       option, is printed on the second line.
//   quorlan-sign sign --key SECRETFILE --version BUILD FILE
//       prints the signature (hex) of FILE offered as build BUILD, the
//       "signature" value of a patch list whose "version" is BUILD.
#include "net/ProgramVersion.h"
#include "tools/sign/PatchSigner.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <iterator>
#include <unistd.h>

namespace {

bool ReadWholeFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool WriteNewPrivateFile(const std::string& path, const std::string& text) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(fd);
            ::unlink(path.c_str());
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return ::fsync(fd) == 0 && ::close(fd) == 0;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Key pair and patch signatures for Quorlan updates"};
    app.set_version_flag("--version", quorlan::net::ProgramVersion("quorlan-sign"));
    app.require_subcommand(1);

    std::string secretOut;
    CLI::App* keygen = app.add_subcommand("keygen", "Make an Ed25519 key pair");
    keygen->add_option("--secret-out", secretOut, "Write the secret key (hex) to this new file instead of printing it");

    std::string keyFile;
    std::string patchFile;
    std::int32_t version = 0;
    CLI::App* sign = app.add_subcommand("sign", "Print the signature (hex) of a patch file offered as one build");
    sign->add_option("--key", keyFile, "File holding the secret key (hex)")->required()->check(CLI::ExistingFile);
    sign->add_option("--version", version, "The build number the patch list offers (its \"version\")")
        ->required()
        ->check(CLI::PositiveNumber);
    sign->add_option("file", patchFile, "The patch file")->required()->check(CLI::ExistingFile);

    CLI11_PARSE(app, argc, argv);

    if (*keygen) {
        auto pair = quorlan::tools::GenerateKeyPair();
        if (!pair) {
            std::cerr << "quorlan-sign: libsodium could not be initialised\n";
            return 1;
        }
        if (!secretOut.empty() && !WriteNewPrivateFile(secretOut, pair->secretKey + "\n")) {
            std::cerr << "quorlan-sign: cannot create " << secretOut << ": " << std::strerror(errno) << "\n";
            return 1;
        }
        std::cout << pair->publicKey << "\n";
        if (secretOut.empty()) std::cout << pair->secretKey << "\n";
        return 0;
    }

    std::string secretHex;
    std::string body;
    if (!ReadWholeFile(keyFile, secretHex)) {
        std::cerr << "quorlan-sign: cannot read " << keyFile << "\n";
        return 1;
    }
    if (!ReadWholeFile(patchFile, body)) {
        std::cerr << "quorlan-sign: cannot read " << patchFile << "\n";
        return 1;
    }
    auto signature = quorlan::tools::SignOfferHex(secretHex, version, body);
    if (!signature) {
        std::cerr << "quorlan-sign: " << keyFile << " does not hold a valid secret key (128 hex digits)\n";
        return 1;
    }
    std::cout << *signature << "\n";
    return 0;
}
