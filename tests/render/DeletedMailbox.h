#pragma once
// A message as recovery finds it once deleted: stored in a mailbox file as
// deleted by the fixture maker, and read back by the engine with four bytes
// of every block overwritten.

#include "dbx/DbxFile.h"
#include "support/TempDir.h"
#include "tools/dbxgen/MailboxBuilder.h"

#include <gtest/gtest.h>

#include <string>

struct Stored {
    std::string bytes;
    dbx::TextDamage damage;
};

inline Stored DeleteAndRecover(const dbxgen::MailMessage& message)
{
    testsupport::TempDir dir;
    dbxgen::MailboxBuilder builder;
    builder.Add(message, true);
    const std::string path = dir.File("Inbox.dbx");
    EXPECT_TRUE(builder.Build().WriteTo(path));
    dbx::DbxFile file;
    EXPECT_TRUE(file.Open(path));
    dbx::IProgressSink quiet;
    file.Scan(quiet);
    Stored stored;
    EXPECT_EQ(file.GetCount(), 1);
    EXPECT_TRUE(file.ReadMessage(0, stored.bytes));
    stored.damage = file.Damage(0);
    return stored;
}
