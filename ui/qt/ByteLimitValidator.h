// Keeps a field's text within what the job reads of it. The job (and the board's
// block) takes bytes, and a character outside ASCII takes several in UTF-8: a limit in
// characters alone would let the job cut a character in half.
#pragma once

#include <QValidator>

namespace qtui {

class ByteLimitValidator final : public QValidator {
  public:
    ByteLimitValidator(int maxBytes, QObject* parent);
    State validate(QString& input, int& position) const override;

  private:
    int maxBytes_;
};

}  // namespace qtui
