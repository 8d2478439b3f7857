#include "codec/g726_encoder.h"

namespace parvolin::codec {

std::unique_ptr<sim::AudioEncoder> makeG726Encoder(int) {
  return nullptr;
}

}  // namespace parvolin::codec
