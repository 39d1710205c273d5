// qvfax-protocol-doc: writes the reference part of the protocol document
// from the published surface and the enumerations.
//   qvfax-protocol-doc ENUMS_H DOC.md           prints the reference part
//   qvfax-protocol-doc ENUMS_H DOC.md --write   puts it into DOC.md
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "rpc/surface_document.h"

namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || (argc == 4 && std::string(argv[3]) != "--write") || argc > 4) {
    std::cerr << "usage: qvfax-protocol-doc ENUMS_H DOC.md [--write]\n";
    return 2;
  }
  try {
    const std::string reference = qvfax::rpc::ReferenceMarkdown(Read(argv[1]));
    if (argc == 3) {
      std::cout << reference;
      return 0;
    }
    const std::string document = Read(argv[2]);
    const std::string updated = qvfax::rpc::WithReference(document, reference);
    if (updated == document && qvfax::rpc::ReferenceOf(document) != reference) {
      std::cerr << argv[2] << " has no generated reference markers\n";
      return 1;
    }
    std::ofstream(argv[2], std::ios::binary) << updated;
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "qvfax-protocol-doc: " << e.what() << "\n";
    return 1;
  }
}
