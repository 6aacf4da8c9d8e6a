// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace pellix::sim {

// What field modems do that the standard does not promise, one switch each, all off by default so
// that the virtual modem stays the well-behaved modem unless a test or an operator asks otherwise.
// pellix-modemsim offers each as a flag of the same name (--sim-busy 8, --vendor-noise, ...).
struct FieldBehaviour
{
    // --sim-busy N: for N seconds after power-up and after the PIN is entered, SIM, message and
    // phonebook commands answer +CME ERROR: 14 / +CMS ERROR: 314 (+CNMI too, and right after
    // power-up +CPIN? as well); then "SMS Ready" and "PB DONE".
    int simBusySeconds = 0;
    // --vendor-noise: vendor lines (^RSSI:, ^MODE:, ^BOOT:, +QIND:) at any moment, also between a
    // +CMT/+CDS/+CMGL/+CMGR header and its PDU line.
    bool vendorNoise = false;
    // --late-reply MS: the answer to each command in lateCommands comes MS milliseconds late.
    int lateReplyMs = 0;
    // --late-command CMD (repeatable): the commands answered late, by name ("+CSQ", "+COPS").
    QList<QByteArray> lateCommands;
    // --strict-cnmi: +CNMI takes only store-and-indicate (mt 0/1, ds 0/2), refuses the rest with
    // +CMS ERROR: 303, and says so in its test form.
    bool strictCnmi = false;
    // --charsets LIST: the +CSCS character sets offered, comma-separated ("GSM,IRA,UCS2" by
    // default; "GSM" or "IRA" for modems that have no UCS2).
    QByteArray charsets = "GSM,IRA,UCS2";
    // --empty-list-error: +CMGL on an empty storage answers +CMS ERROR: 321.
    bool emptyListError = false;
    // --stuck-prompt: the modem starts inside a +CMGS prompt, as a program killed mid-send leaves it.
    bool stuckPrompt = false;
    // --quiet: the modem starts in Q1 (no result codes) with echo on.
    bool quiet = false;
    // --boot-noise: "RDY", "+CFUN: 1", "+CPIN: READY", "Call Ready", "SMS Ready" after the line
    // opens, before and between the first answers.
    bool bootNoise = false;
    // --lose-routed: with +CNMI mt=2 a new message goes to the line and is acknowledged to the
    // network even when nobody listens (line closed): gone, as on a real modem with +CSMS 0.
    // Status reports routed with ds=1 go the same way.
    bool loseRoutedMessages = false;
    // --late-count N: only the first N answers to lateCommands come late, then the modem has
    // recovered (0: every one comes late).
    int lateReplyCount = 0;
    // --restart-on CMD (repeatable): the modem restarts when a command line holds CMD ("+CMGS"),
    // as one that browns out under the load of that command: the line is lost, and the modem is
    // deaf and mute for restartSilenceMs, says restartLines and comes back with its stored
    // profile (echo on, +CMEE 0, +CNMI 0,0,0,0,0, +CMGF as stored, storages SM). The restart()
    // of VirtualModem (and "restart" on pellix-modemsim's stdin) does the same at any moment.
    QList<QByteArray> restartOn;
    // --restart-count N: only the first N such command lines restart the modem (0: every one).
    int restartCount = 0;
    // --restart-lines LIST: what the modem says once it is up again, ';'-separated. The default
    // is what SIMCom and Quectel modules say; "^SYSSTART" is Cinterion's; an empty list is a
    // modem that says nothing (autobauding modules stay mute until they hear AT). "+CPIN: READY"
    // follows the SIM: a SIM with a PIN says "+CPIN: SIM PIN" instead.
    QList<QByteArray> restartLines = {"RDY", "+CFUN: 1", "+CPIN: READY", "Call Ready", "SMS Ready", "PB DONE"};
    // --restart-silence MS: how long a restart keeps the modem deaf and mute.
    int restartSilenceMs = 1500;
    // --restart-spread MS: the boot lines come this far apart, as a module's do while its SIM
    // and message stacks start (seconds apart on SIMCom and Quectel modules); 0: all at once.
    int restartSpreadMs = 0;
    // --stored-text-mode: the profile stored with AT&W holds +CMGF=1. The modem offers text mode,
    // and after a restart (or ATZ) it is in it: AT+CMGS=<n> then takes <n> for the destination
    // number and whatever follows the prompt for the text.
    bool storedTextMode = false;
    // --sim-full: the SIM's message storage starts full, and new messages go to the phone memory
    // instead (+CMTI: "ME",n), as many modems do when the SIM has no room.
    bool simFull = false;
    // --empty-read FORM: what AT+CMGR answers for a place that holds nothing, which 27.005 leaves
    // open: "error" +CMS ERROR: 321 (most modems), "ok" OK alone (Cinterion), "header" the
    // header "+CMGR: 0,,0" without a PDU line (Siemens MC35, as gammu and smstools know it).
    enum class EmptyRead { Error, Ok, Header };
    EmptyRead emptyRead = EmptyRead::Error;
    // --line-speed BPS: what the modem says reaches the client at this many bytes per second
    // (960 for 9600 baud with 8N1 framing); 0: at once. The in-process transport and
    // pellix-modemsim pace it.
    int lineSpeed = 0;
    // --flood N: once the client has asked for new-message indications (+CNMI <mt> 1 to 3), the
    // network brings N messages at once ("flood 1" ... "flood N" from +15550001), as after coverage
    // returns, and the modem pushes them all without waiting for acknowledgements: +CMT each when
    // routed (with +CSMS=1 it takes one +CNMA per message afterwards), +CMTI each when stored (the
    // storage grows to hold them).
    int floodMessages = 0;
    // --freeze-after S: S seconds after power-up the modem stops answering: it takes what it is
    // sent and says nothing, and the port stays open (a hung firmware, not an unplugged stick).
    int freezeAfterSeconds = 0;

    // What the network and the SIM say of themselves (27.007 7.2, 7.3, 7.1, 8.3, 8.65; 27.005
    // 3.3.1, 3.2.2), and the ways a field modem falls short of a working line.
    // --registration STATE: where the modem ends with the radio on and the SIM open: home (1),
    // roaming (5), searching (2), denied (3) or none (0, not registered and not searching).
    // Only home and roaming carry messages, calls and USSD.
    enum class Registration { Home, Roaming, Searching, Denied, None };
    Registration registration = Registration::Home;
    // --no-smsc: the SIM holds no service centre address (+CSCA: "",129), so a message whose PDU
    // names none is refused with +CMS ERROR: 330.
    bool noSmsc = false;
    // --storage-full: the SIM's message storage starts with every place taken (+CPMS used ==
    // total): writing answers +CMS ERROR: 322 and the centre keeps what arrives.
    bool storageFull = false;
    // --no-cnum: the SIM holds no MSISDN, so AT+CNUM answers OK alone.
    bool noCnum = false;
    // --ussd FORM: how the network's USSD answers come. Charset: in the +CSCS character set
    // (the default); Silent: OK and then nothing; Ucs2: UCS-2 hex with dcs 72 whatever +CSCS
    // says; Packed: GSM 7-bit septets packed into hex, dcs 15 (Huawei); Text: plain text,
    // dcs 15, whatever +CSCS says; NotSupported: the modem refuses +CUSD (+CME ERROR: 4).
    enum class Ussd { Charset, Silent, Ucs2, Packed, Text, NotSupported };
    Ussd ussd = Ussd::Charset;
    // --pin-attempts N: PIN attempts left at power-up (0: the SIM asks for the PUK); -1 the full
    // count. Only with a PIN set.
    int pinAttempts = -1;
    // --own-number NUMBER: the SIM's MSISDN (+CNUM, loop-back); empty: the network's standard one.
    QString ownNumber;
    // --imei N: what +CGSN answers, so that a bench of simulators tells its modems apart as
    // real ones do; empty: ModemIdentity::Imei.
    QByteArray imei;
};

} // namespace pellix::sim
