#pragma once

#include "tools/backend/BackendRequest.h"

#include <QByteArrayView>

// Reads one HTTP/1.1 request from the front of a byte buffer. Stateless: the
// connection keeps the unread bytes and asks again when more arrive.
class BackendRequestParser
{
public:
    enum class Outcome { Incomplete, Complete, Invalid };

    struct Limits
    {
        qsizetype maxHeadBytes = 64 * 1024;
        qsizetype maxBodyBytes = 16 * 1024 * 1024;
    };

    struct Result
    {
        Outcome outcome = Outcome::Incomplete;
        BackendRequest request;     // complete when outcome is Complete; head only when headComplete
        qsizetype consumed = 0;  // bytes of the buffer that belong to this request
        bool headComplete = false;
        bool expectsContinue = false; // "Expect: 100-continue" and the body still to come
        int errorStatus = 0;     // 400, 413, 431, 501 when Invalid
        QByteArray error;
    };

    static Result parse(QByteArrayView data, const Limits& limits);
    static Result parse(QByteArrayView data) { return parse(data, Limits{}); }

private:
    static bool parseHead(QByteArrayView head, BackendRequest& request, Result& result);
};
