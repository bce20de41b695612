// The delivery path of a message as told by its "Received"
// header lines. Each line becomes a hop record of nine items (from, helo,
// host, ip, envelope sender, by, with, for, date) joined by the byte 0x02;
// selectors pick items of all hops as quoted lists (RCVALLIPS, RCVHELO, ...).
//
// Promises: parsing never fails (items it cannot find stay empty) and only
// moves forward through a line; everything is about linear in its input.
#pragma once

#include <string>
#include <string_view>

namespace quelta {

class SubDomainList;

// Separator of the items of a hop record.
constexpr char kHopItemSep = '\x02';

// The hop record of the text of one Received line (after "Received: ").
std::string ParseReceivedLine(std::string_view line);

// Hop records of every line of an unfolded header that begins with
// "Received: " (any case, one blank), top line first, each followed by
// CR LF; empty when there is none.
std::string CollectReceived(std::string_view header);

// The items chosen by selector (any case; every one of FROM, FROMIP,
// FROMNAME, HELO, HOST, IP, IPIP, ENVSENDER, RCVBY, RCVWITH, RCVFOR, DATE,
// IPS, HOSTS, DOMS named in it between "|" or at its ends is switched on) of
// every hop record of `received`, as a list that starts with `sep` and has
// every item followed by `sep`. Finally each pair of adjacent separators is
// replaced by one in a single left-to-right pass, so one empty item
// disappears while two empty items in a row leave a doubled separator.
// DOMS reduces host names to registered domains with the two-level list
// twoLevel (null: none).
std::string SelectFromHops(std::string_view received, std::string_view selector,
                           std::string_view sep, const SubDomainList* twoLevel);

}  // namespace quelta
