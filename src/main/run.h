#pragma once

#include <expected>
#include <string>

#include "icc/decoded_image.h"
#include "main/cli.h"

namespace velquon {

inline constexpr int FAILURE_STATUS = 101;

// The score of a decoded pair. Without alpha the buffers move into the frames as they are; when
// either image has alpha both are composited over a dark and then a light grey and the lower
// score is kept. The error is the complete failure message.
std::expected<double, std::string> score_decoded(DecodedImage source, DecodedImage distorted);

// Everything after the command line: decodes SOURCE completely, then DISTORTED, scores them and
// prints the score line. Returns the exit status; a failure has written its message to stderr.
int run(const ImageCommand& command);

}  // namespace velquon
