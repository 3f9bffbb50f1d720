// The wire facts of BGP (RFC 4271 and its extensions), BMP (RFC 7854,
// RFC 9069) and MRT (RFC 6396) that the host side reads and writes, each
// defined once, with the one check of a BGP header.
#pragma once

#include <cstddef>
#include <cstdint>

#include "byte_reader.h"

namespace rpdwire {

// ------------------------------------------------------------------ BGP
constexpr size_t kBgpMarkerLen = 16;
constexpr size_t kBgpHeaderLen = 19;
// The length every speaker takes; larger ones need RFC 8654's extended messages.
constexpr size_t kBgpMaxMessage = 4096;
// What the 16-bit length field can say.
constexpr size_t kBgpMaxLength = 65535;

constexpr uint8_t kBgpOpen = 1, kBgpUpdate = 2, kBgpNotification = 3, kBgpKeepalive = 4, kBgpRouteRefresh = 5;

struct BgpTypeInfo {
    const char *name;
    uint16_t minLen;  // whole message, header included
    uint16_t maxLen;  // 0: up to the message limit
};
// OPEN, UPDATE, NOTIFICATION, KEEPALIVE, ROUTE-REFRESH (RFC 2918); null for any other type.
const BgpTypeInfo *BgpType(uint8_t type);
// Its name, or "unknown".
const char *BgpTypeName(uint8_t type);

// NOTIFICATION error codes (RFC 4271 section 4.5; RFC 6608 for the FSM errors).
constexpr uint8_t kErrHeader = 1, kErrOpen = 2, kErrUpdate = 3, kErrHoldExpired = 4, kErrFsm = 5, kErrCease = 6;
// Cease subcodes (RFC 4486); Shutdown and Reset may carry a shutdown communication (RFC 9003).
constexpr uint8_t kCeaseShutdown = 2, kCeaseReset = 4, kCeaseRejected = 5, kCeaseOutOfResources = 8;

// What is wrong with a BGP header, in the order RFC 4271 checks it.
enum class HeaderFault { None, Marker, Length, Type };

// Whether `p` starts with the 16-byte marker (at least 16 bytes there).
bool IsMarker(const uint8_t *p);
// The header at `p` (at least 19 bytes there): the marker, a length of 19
// to `maxLen` (and within its type's bounds when `typeLengths`), a type of 1
// to 5. A length that is not the type's is a Length fault before the type
// is looked at, as RFC 4271 section 6.1 orders them.
HeaderFault CheckBgpHeader(const uint8_t *p, size_t maxLen = kBgpMaxLength, bool typeLengths = false);
// Whether a plausible BGP header starts at `p` (n bytes there): what a
// stream reader resynchronises on.
bool StartsBgpMessage(const uint8_t *p, size_t n);
// The length and type of a plausible header: at least 19, and a type of 1 to 5.
inline bool PlausibleBgp(size_t len, uint8_t type) { return len >= kBgpHeaderLen && BgpType(type) != nullptr; }
inline uint16_t BgpLength(const uint8_t *p) { return static_cast<uint16_t>(p[16] << 8 | p[17]); }
inline uint8_t BgpMessageType(const uint8_t *p) { return p[kBgpHeaderLen - 1]; }

// OPEN optional parameters and capabilities (RFC 5492, RFC 4760, RFC 6793).
constexpr uint8_t kParamCapabilities = 2;
constexpr uint8_t kCapMultiprotocol = 1, kCapRouteRefresh = 2, kCapExtendedMessage = 6, kCapAs4 = 65;
constexpr uint16_t kAsTrans = 23456;

// Path attributes.
constexpr uint8_t kAttrOrigin = 1, kAttrAsPath = 2, kAttrNextHop = 3, kAttrMpReach = 14, kAttrMpUnreach = 15;
constexpr uint8_t kAttrWideCommunity = 129;  // the default; hosts may configure another code
constexpr uint8_t kFlagOptional = 0x80, kFlagTransitive = 0x40, kFlagExtendedLength = 0x10;
constexpr uint8_t kAsSequence = 2;

// Address families.
constexpr uint16_t kAfiIpv4 = 1, kAfiIpv6 = 2;
constexpr uint8_t kSafiUnicast = 1, kSafiMulticast = 2, kSafiRpd = 75;

// Takes the NLRI at the front of `r` (its length octet included) into `nlri`,
// `len` bytes: RPD counts its length in octets, the prefix families in bits.
// False, taking nothing, when it runs past what `r` holds.
bool TakeNlri(ByteReader &r, uint8_t safi, const uint8_t *&nlri, size_t &len);

// ------------------------------------------------------------------ RPD
// NLRI: a length octet (9 for an IPv4 peer, 21 for IPv6), the policy type, the distinguisher, the peer.
constexpr uint8_t kRpdNlriIpv4 = 9, kRpdNlriIpv6 = 21;
constexpr uint8_t kRpdExportPolicy = 1;
// The container communities of the one Wide Community shape that carries a policy.
constexpr uint32_t kMatchAndSet = 0x90000003u, kMatchAndNoAdv = 0x90000004u;

// ------------------------------------------------------------------ BMP
constexpr uint8_t kBmpVersion = 3;
constexpr size_t kBmpCommonHeader = 6;
constexpr size_t kBmpPeerHeaderLen = 42;
// Two OPENs and the largest UPDATE fit many times over; a larger length is a broken stream.
constexpr uint32_t kBmpMaxMessage = 1u << 20;
constexpr uint8_t kBmpRouteMonitoring = 0, kBmpStatistics = 1, kBmpPeerDown = 2, kBmpPeerUp = 3, kBmpInitiation = 4,
                  kBmpTermination = 5, kBmpRouteMirroring = 6;
constexpr uint8_t kBmpPeerLocRib = 3;  // peer type of RFC 9069
constexpr uint8_t kBmpFlagV = 0x80, kBmpFlagL = 0x40, kBmpFlagO = 0x10;
// A TLV type with its top bit set is an enterprise's own (the E-bit of the BMP TLV work).
constexpr uint16_t kBmpTlvEnterprise = 0x8000;
// Whether a plausible BMP message starts at `p` (n bytes there): version 3,
// a length inside the limits, a known type, and for a route monitoring the
// BGP marker after the per-peer header (where the bytes reach that far).
bool StartsBmpMessage(const uint8_t *p, size_t n);

// ------------------------------------------------------------------ MRT
constexpr size_t kMrtHeaderLen = 12;
constexpr uint32_t kMrtMaxRecord = 1u << 24;
constexpr uint16_t kMrtTableDump = 12, kMrtTableDumpV2 = 13, kMrtBgp4mp = 16, kMrtBgp4mpEt = 17;
constexpr uint16_t kBgp4mpMessageAs4 = 4, kBgp4mpStateChangeAs4 = 5;
// Whether `type` is one of the record types RFC 6396 defines.
bool KnownMrtType(uint16_t type);
// FSM states as the state change records number them (1 Idle ... 6 Established).
constexpr uint16_t kStateIdle = 1, kStateOpenConfirm = 5, kStateEstablished = 6;
const char *StateName(uint16_t state);

// ------------------------------------------------------------------ captures
constexpr uint16_t kBgpPort = 179;
// The port BMP stations listen on by convention (no IANA assignment exists).
constexpr uint16_t kBmpPort = 1790;
constexpr uint8_t kTcpFin = 0x01, kTcpSyn = 0x02, kTcpPsh = 0x08, kTcpAck = 0x10;
constexpr uint8_t kIpProtoTcp = 6, kIpv6HopByHop = 0, kIpv6Routing = 43, kIpv6Fragment = 44, kIpv6DestOptions = 60;
constexpr uint16_t kEtherIpv4 = 0x0800, kEtherIpv6 = 0x86DD, kEtherVlan = 0x8100, kEtherQinQ = 0x88A8;
// Link types as capture files name them (LINKTYPE_*).
enum LinkType : uint32_t {
    kLinkNull = 0,
    kLinkEthernet = 1,
    kLinkRaw = 101,
    kLinkLoop = 108,
    kLinkLinuxSll = 113,
    kLinkIpv4 = 228,
    kLinkIpv6 = 229,
    kLinkLinuxSll2 = 276,
};
// The first word of a classic pcap (microseconds, nanoseconds) as read big-endian, and of a pcapng.
constexpr uint32_t kPcapMagic = 0xA1B2C3D4, kPcapMagicNs = 0xA1B23C4D, kPcapngMagic = 0x0A0D0D0A;

}  // namespace rpdwire
