// Reads "ID<TAB>text" lines and writes a C++ source holding the table as
// escaped byte strings, so every byte of the data file (no-break spaces,
// trailing blanks) reaches the library unchanged.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: qvfax_strtab_gen strings.tsv out.cc\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::cerr << "qvfax_strtab_gen: cannot read " << argv[1] << "\n";
    return 1;
  }
  std::ofstream out(argv[2], std::ios::binary);
  out << "// Generated from strings.tsv; do not edit.\n"
         "#include \"values/string_table_data.h\"\n"
         "namespace qvfax::detail {\n"
         "const StringTableEntry kStringTable[] = {\n";
  std::string line;
  int count = 0;
  int line_no = 0;
  while (std::getline(in, line)) {
    ++line_no;
    if (line.empty()) continue;
    auto tab = line.find('\t');
    if (tab == std::string::npos) {
      std::cerr << argv[1] << ":" << line_no << ": no tab between ID and text\n";
      return 1;
    }
    out << "  {" << std::stol(line.substr(0, tab)) << ", \"";
    for (unsigned char c : line.substr(tab + 1)) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\%03o", c);
      out << buf;
    }
    out << "\"},\n";
    ++count;
  }
  out << "};\nconst std::size_t kStringTableSize = " << count << ";\n}\n";
  return 0;
}
