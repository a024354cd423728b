// brox: encrypts and decrypts firmware images.
#include <CLI/CLI.hpp>

#include <iostream>

#include "cipher/file_stream.h"
#include "cipher/memory_stream.h"
#include "cipher/rc6.h"
#include "loader/firmware_key.h"
#include "replace_file.h"

namespace {

using namespace bootshell::cipher;

struct Job {
  std::string input;
  std::string output;
  std::string key{bootshell::FirmwareKey};
};

int Run(bool decrypt, const Job& job) {
  if (job.key.empty()) {
    std::cerr << "brox: the key must not be empty (an empty key leaves the image as it is)\n";
    return 2;
  }
  MemoryStream image;
  try {
    image = MemoryStream(ReadWholeFile(job.input));
  } catch (const StreamError& e) {
    std::cerr << "brox: cannot read \"" << job.input << "\": " << e.Reason() << "\n";
    return 1;
  }
  sk::ByteString key = sk::ToBytes(job.key);
  bool ok = decrypt ? RC6DecryptStream(image, key, image.Size())
                    : RC6EncryptStream(image, key, image.Size());
  if (!ok) {
    std::cerr << "brox: cannot transform \"" << job.input << "\" in memory\n";
    return 1;
  }
  try {
    brox::ReplaceFile(job.output, image.Data());
  } catch (const std::exception& e) {
    std::cerr << "brox: " << e.what() << "\n";
    return 1;
  }
  if (std::int64_t tail = image.Size() % 16; tail != 0)
    std::cerr << "brox: note: the last " << tail
              << " bytes do not fill a 16-byte block and are copied unchanged\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Encrypts and decrypts firmware images (.brox) for the ZR48 boot loader.\n"
      "An image is RC6 ciphertext in 16-byte blocks from its first byte, without header; a\n"
      "last part shorter than 16 bytes is stored unencrypted. OUT is written completely or\n"
      "not at all; IN and OUT may name the same file.",
      "brox"};
  app.require_subcommand(1);
  Job job;
  const std::string keyHelp = "key string (default: the built-in firmware key)";
  CLI::App* decrypt = app.add_subcommand("decrypt", "decrypt the image IN into OUT");
  CLI::App* encrypt = app.add_subcommand("encrypt", "encrypt the plain image IN into OUT");
  for (CLI::App* sub : {decrypt, encrypt}) {
    sub->add_option("IN", job.input, "image to read")->required();
    sub->add_option("OUT", job.output, "file to write (replaced if it exists)")->required();
    sub->add_option("--key", job.key, keyHelp);
  }
  CLI11_PARSE(app, argc, argv);
  return Run(decrypt->parsed(), job);
}
