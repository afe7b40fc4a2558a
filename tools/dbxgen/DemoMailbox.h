#pragma once
// The demo mailbox: an Inbox of a few realistic e-mails from 2004 to 2008,
// some deleted (one of them an older copy of a message still listed), some
// with attachments, with subjects in the encodings old mail used.

#include "tools/dbxgen/Mailbox.h"
#include "tools/dbxgen/MailMessage.h"

#include <utility>
#include <vector>

namespace dbxgen {

// The demo's e-mails in file order, each with its deleted flag.
std::vector<std::pair<MailMessage, bool>> DemoMessages();
// The demo mailbox file with its expectations. Always the same bytes.
Mailbox MakeDemoMailbox();

} // namespace dbxgen
