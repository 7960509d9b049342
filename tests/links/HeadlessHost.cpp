#include "HeadlessHost.h"

#include "net/SendQueue.h"

#include <algorithm>

HeadlessHost::HeadlessHost(int32_t nMode, const std::string& szNick, int16_t nPort) {
    state.onEnd = nullptr;
    state.nMode = nMode;
    state.szNick = szNick;
    state.nPort = nPort;
    state.szServerIP = "127.0.0.1";
    state.szListenHost = "127.0.0.1";
    MakeSession();
}

HeadlessHost::~HeadlessHost() = default;

void HeadlessHost::MakeSession() {
    session = std::make_unique<zaplo::NetSession>(state, *this);
    session->onConnectFailed = [this] {
        ++nConnectFailed;
        log.push_back("connect failed");
        if (onConnectFailed) {
            onConnectFailed();
        }
    };
}

void HeadlessHost::NewSession() {
    session.reset();
    statusLines.clear();
    chatLines.clear();
    rows.clear();
    MakeSession();
}

void HeadlessHost::InitConnection() {
    if (state.nMode == 0) {
        AddUsername(state.szNick, 0);
        session->ServerWait();
    } else {
        session->ClientConnect();
        ClientServerSendMessage("{2}", state.szNick);
    }
}

void HeadlessHost::Queue(const std::string& szMsg, const std::string& szData) {
    ClientServerSendMessage(szMsg, szData);
}

std::vector<std::string> HeadlessHost::RowNames() const {
    return UserRows();
}

bool HeadlessHost::HasStatus(const std::string& szLine) const {
    return CountStatus(szLine) > 0;
}

int HeadlessHost::CountStatus(const std::string& szLine) const {
    return static_cast<int>(std::count(statusLines.begin(), statusLines.end(), szLine));
}

bool HeadlessHost::HasChat(const std::string& szLine) const {
    return std::find(chatLines.begin(), chatLines.end(), szLine) != chatLines.end();
}

void HeadlessHost::SendToChatBox(const std::string& szMessage) {
    chatLines.push_back(szMessage);
    log.push_back("chat:" + szMessage);
    if (onChat) {
        onChat(szMessage);
    }
}

void HeadlessHost::Status(const std::string& szMessage) {
    statusLines.push_back(szMessage);
    log.push_back("status:" + szMessage);
}

void HeadlessHost::AddUsername(const std::string& szUser, int16_t iSlot) {
    rows.push_back({szUser, iSlot});
}

void HeadlessHost::RemoveUsername(int16_t iUser) {
    const auto it = std::find_if(rows.begin(), rows.end(),
                                 [iUser](const Row& row) { return row.iSlot == iUser; });
    if (it != rows.end()) {
        rows.erase(it);
    }
}

std::optional<std::string> HeadlessHost::SlotNickname(int16_t iUser) const {
    for (const Row& row : rows) {
        if (row.iSlot == iUser) {
            return row.szName;
        }
    }
    return std::nullopt;
}

void HeadlessHost::RefreshUserlist() {
    rows.clear();
}

std::vector<std::string> HeadlessHost::UserRows() const {
    std::vector<std::string> names;
    for (const Row& row : rows) {
        names.push_back(row.szName);
    }
    return names;
}

void HeadlessHost::DrawSegment(const zaplo::DrawRecord& record) {
    draws.push_back(record);
    if (onDraw) {
        onDraw(record);
    }
}

void HeadlessHost::EraseCanvas() {
    ++nErases;
    log.push_back("erase");
}

int16_t HeadlessHost::HighestSlot() const {
    return state.nUsers;
}

void HeadlessHost::ServerSendToClient(const std::string& szData, int16_t iUser) {
    session->ServerSendToClient(szData, iUser);
}

void HeadlessHost::CloseSlot(int16_t iUser) {
    session->CloseSlot(iUser);
}

void HeadlessHost::ClientServerSendMessage(const std::string& szMsg, const std::string& szData) {
    zaplo::ClientServerSendMessage(state, szMsg, szData);
}
