#include <framework/streaming.h>

EReadError::EReadError(std::string SourceName_, int Line_, int Column_, std::string Expected_)
    : Exception(SourceName_ + "(" + std::to_string(Line_) + ":" + std::to_string(Column_) +
                "): " + Expected_),
      SourceName(std::move(SourceName_)),
      Line(Line_),
      Column(Column_),
      Expected(std::move(Expected_)) {}

std::string WriteComponentText(TComponent& /*Root*/) { throw EWriteError("not implemented yet"); }

TComponent* ReadComponentText(const std::string& /*Text*/, TComponent* /*Owner*/,
                              const std::string& SourceName) {
  throw EReadError(SourceName, 1, 1, "not implemented yet");
}

void ReadComponentTextInto(TComponent& /*Root*/, const std::string& /*Text*/,
                           const std::string& SourceName) {
  throw EReadError(SourceName, 1, 1, "not implemented yet");
}
