// Base of every room-service request/reply: the query heads, the signing ingredients, the reply's base keys.
//
// A request is built on the sender's thread (BuildSendString); a reply is made by the factory and parsed on
// the request worker's thread. An object is used by one thread at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include <json/value.h>

class CZQMessage;

class CZQMsgFactory;

// The factory unit interface (CZQMsgFactory::AbstractFactoryUnit).
class CZQMsgFactoryUnitBase {
public:
    virtual ~CZQMsgFactoryUnitBase() = default;
    virtual CZQMessage* Create() = 0;
};

// Reply status of the room service for a session that is no longer valid (signed in elsewhere, or signed out).
constexpr int kStatusSessionInvalid = 5;

class CZQMessage {
public:
    CZQMessage();
    virtual ~CZQMessage();
    CZQMessage(const CZQMessage&) = delete;
    CZQMessage& operator=(const CZQMessage&) = delete;

    // Writes the query string (everything after the endpoint); 1 on success.
    virtual int BuildSendString(std::string& out);
    // Fills the object from a reply text. The base reads the base keys and returns 0; commands return 1.
    virtual int Parse(const char* text, int len);
    // A new object of the same class (base copy set, and for some classes more); null for classes without one.
    virtual CZQMessage* Clone();

    // Parse over an already parsed reply (`ok` false: the text was not JSON). Used by Parse and the factory.
    int ParseValue(bool ok, const Json::Value& root);
    // Copies the base copy set of `other` into this object.
    void CopyBase(const CZQMessage& other);

    int typeId = 49;
    std::string src;
    std::string ver;
    int ctxInt[3] = {0, 0, 0};
    std::string ctxText[2];
    std::string cmd;
    int status = 2;
    std::string statusdesc;
    uint32_t systm = 0;
    std::string classTag;
    std::string spare;
    int seq = 0;
    // A reply: the session id its request carried (0 for none), set by the request worker.
    uint32_t requestSid = 0;

    // The process-wide sequence counter (tests set it near the wrap).
    static int NextSequence();
    static void SetSequenceCounter(int next);

    // Text of a reply that is not JSON.
    static const char* ParseFailureText();

    // The factory unit of the class (command classes have their own, see CZQCommand).
    class MsgFactoryUnit : public CZQMsgFactoryUnitBase {
    public:
        CZQMessage* Create() override;
    };
    static MsgFactoryUnit s_factoryUnit;

    // A text parameter URL-encoded into a buffer of `size` bytes (cut on a whole escape).
    static std::string Enc(const std::string& text, size_t size);
    // An identifier or password: URL-encoded whole, so reserved characters cannot break the query.
    static std::string EncAll(const std::string& text);

protected:
    // Own reply keys of a command; runs only when the reply parsed as JSON.
    virtual void ReadOwn(const Json::Value& root);
    // Classes whose Parse returns 1 (every command); the base returns 0.
    virtual bool IsCommand() const { return false; }

    // Query heads. `cmdName` is the command as sent.
    std::string HeadPlain() const;                                // src, ver, cmd
    std::string HeadPlainUser(uint32_t uid, uint32_t sid) const;  // + uid, sid
    std::string HeadPrefixed() const;                             // FromID, ClientID, src, ver, cmd
    // [FromID, ClientID,] src, ver, mac, tm, token, cmd, uid, sid; signed for `tokenRoom`.
    std::string HeadSigned(uint32_t tokenRoom, uint32_t uid, uint32_t sid, bool prefixed) const;

private:
    static std::atomic<int> s_sequence;
};

// A caller context integer read back as unsigned for the "%u" fields.
inline uint32_t U(int v) {
    return static_cast<uint32_t>(v);
}
