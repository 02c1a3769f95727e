#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// The MCP server inventory that the product tool writes after an activity
// analysis (~/.quorvane/mcp-servers.json): a JSON object whose "servers"
// member is an array of objects, one per server, passed on to the back-end
// without being looked into.
struct McpInventory
{
    // No real inventory comes near this; a larger file is not read at all.
    static constexpr qint64 maximumFileSize = 4 * 1024 * 1024;

    // The file's bytes, or nothing when it is missing, not a regular file
    // (a FIFO or a device would block or never end), unreadable, or larger
    // than maximumFileSize.
    static std::optional<QByteArray> readFile(const QString& path);

    // The sync request body {"servers":[...]} without extra formatting, or
    // nothing unless the text is a JSON object whose "servers" member is an
    // array holding only objects.
    static std::optional<QByteArray> syncBody(QByteArrayView fileContents);
};
