#pragma once

#include "tools/backend/BackendRequest.h"
#include "tools/backend/BackendResponse.h"

class BackendServer;
class BackendService;

// The test and demo interface under /_control/ (JSON in, JSON out); see
// README.md. BackendServer only lets loopback peers reach it.
class ControlApi
{
public:
    ControlApi(BackendService* service, BackendServer* server);

    BackendResponse handle(const BackendRequest& request);

private:
    BackendResponse inject(const QByteArray& body);
    BackendResponse frames(const QByteArray& body);

    BackendService* m_service;
    BackendServer* m_server;
};
