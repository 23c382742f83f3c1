// Running the extraction loop, or the whole package, on hand-built packages through the
// POSIX stand-in, and reading back the messages shown and the files left.
#pragma once

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "archive/extract.h"
#include "archive/record.h"
#include "launcher/dialog.h"
#include "tests/extraction/program_state.h"
#include "tests/support/package_builder.h"
#include "tests/support/platform_fixture.h"
#include "tests/support/temp_dir.h"

namespace sfxtest {

struct Message {
  std::string caption, text;
  bool operator==(const Message&) const = default;
};
inline void PrintTo(const Message& m, std::ostream* os) {
  std::string text = m.text;
  std::replace(text.begin(), text.end(), '\r', '|');
  *os << "[" << m.caption << "] " << text;
}

// The system's texts (Windows-1252 bytes, "\r" a line break) and its boxes' caption.
inline const char kCaption[] = "Velmora Software";
inline const char kCreateFailed[] = "Error al abrir el archivo\r\rError #SFXEAA#";
inline const char kCloseFailed[] = "Error al cerrar el archivo\r\rError #SFXECA#";
inline const char kDamaged[] = "Archivo da\xF1" "ado.\r\rError #SFXCRC#";
inline const char kWriteFailed[] = "Error al escribir el archivo\r\rError #SFXEEA#";
inline const Message kBadName{kCaption, "Error al extraer el nombre de un componente.\r\rError #SFXENC#"};
inline const Message kUnknownMethod{kCaption, "Compresi\xF3n desconocida.\r\rArchivo da\xF1" "ado.\r\rError #SFXMCD#"};
inline const Message kSeekFailed{kCaption, "Error localizando el instalador\r\rError #SFXELI#"};
inline const Message kNothingUnpacked{kCaption,
    "No puedo reconstruir los archivos de instalaci\xF3n.\r\rNo puc reconstruir els arxius d'instal\xB7laci\xF3.\r\r"
    "Cannot reconstruct installation archives.\r\rhelp@example.com\rhelp.example.com\r\rError #SFXNRA#"};

inline std::string Content(const std::string& path) {
  Bytes b = ReadFile(path);
  return std::string(b.begin(), b.end());
}

// A copy of `value` changed by `edit`: records and fault plans for table rows.
template <typename T, typename Edit>
T With(T value, Edit edit) {
  edit(value);
  return value;
}

class ExtractionTest : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    ResetProgramState();
  }
  void TearDown() override {
    ResetProgramState();
    PlatformTest::TearDown();
  }
  std::string dest() const { return dir_->path() + "/_I_"; }
  // The test folder as a Windows path, as TempDir is made from it.
  std::string folder() const {
    std::string f = dir_->path();
    std::replace(f.begin(), f.end(), '/', '\\');
    return f;
  }
  // The message boxes shown, with the destination (TempDir) written as "\".
  std::vector<Message> Messages() const {
    std::vector<Message> out;
    const std::string temp = ::TempDir;
    for (const auto& m : trace().messageBoxes) {
      out.push_back({m.caption, m.text});
      for (std::string* s : {&out.back().caption, &out.back().text})
        for (size_t at = s->find(temp); !temp.empty() && at != std::string::npos; at = s->find(temp))
          s->replace(at, temp.size(), "\\");
    }
    return out;
  }
  // The files below the destination as "path=content", and its empty folders as "path/".
  std::vector<std::string> Listing() const {
    std::vector<std::string> out, tree = ListTree(dest());
    for (const std::string& entry : tree) {
      auto inside = [&](const std::string& other) { return other.rfind(entry + "/", 0) == 0; };
      if (!IsDirectory(dest() + "/" + entry))
        out.push_back(entry + "=" + Content(dest() + "/" + entry));
      else if (std::none_of(tree.begin(), tree.end(), inside))
        out.push_back(entry + "/");
    }
    return out;
  }
  std::unique_ptr<TempDir> dir_ = std::make_unique<TempDir>();
};

}  // namespace sfxtest
