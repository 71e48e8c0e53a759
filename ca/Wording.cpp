#include "ca/Wording.h"

namespace ca {
namespace {

const Wording kEnglish{
    .startTitle = "Your certificates",
    .applicationTitle = "Apply for a certificate",
    .submissionTitle = "Application received",
    .certificateTitle = "Your certificate",
    .pickUpTitle = "Pick up a certificate",
    .revocationTitle = "Revoke a certificate",
    .renewalTitle = "Renew a certificate",
    .checkTitle = "Check a certificate",
    .crlTitle = "Revocation list",
    .refusalTitle = "Request refused",

    .startIntro =
        "This certification authority issues personal certificates for signing, "
        "encryption and signing in. Choose what you want to do:",
    .createNote = "Confirm your data and send a key request; you get a certificate for it.",
    .pickUpNote = "See your applications and fetch each certificate once it is issued.",
    .renewNote = "Replace a certificate before it expires; your browser shows the old one.",
    .revokeNote = "Declare one of your certificates invalid, for instance when its key is lost.",
    .crlNote = "Download the list of revoked certificates and the CA certificate.",
    .checkNote = "Find out whether a certificate of this authority is valid, by its serial.",
    .otherLanguage = "Deutsch",
    .backToStart = "Back to the start page",

    .firstName = "First name",
    .lastName = "Last name",
    .organisation = "Organisation",
    .country = "Country",
    .email = "Email address",
    .applicantNumber = "Applicant number",
    .reference = "Reference number",
    .serial = "Serial number",
    .subject = "Subject",
    .validFrom = "Valid from",
    .validUntil = "Valid until",
    .state = "State",

    .applicationIntro = "Please check your data: the certificate will name you as shown here.",
    .renewalIntro = "The new certificate names you as the old one did:",
    .keyRequestHeading = "Your key request",
    .keyRequestHowTo =
        "Make a key and a key request that answers this page's challenge, for "
        "example with OpenSSL. Keep key.pem safe: it belongs to the certificate.",
    .nextSteps =
        "Paste the whole output (SPKAC=…) below and send it. The authority issues the "
        "certificate at once or after an operator approved it; you then pick it up.",
    .password = "Your password",
    .keyRequest = "Key request (SPKAC)",
    .terms = "I accept the terms and conditions of this authority.",
    .sendApplication = "Send the application",
    .sendRenewal = "Send the renewal",
    .pickUpButton = "Pick up the certificate",

    .certificateIntro = "Your certificate is issued. Save it and keep it with your key.",
    .downloadCertificate = "Download the certificate",
    .noRequests = "You have made no applications yet.",
    .requestsIntro = "Your applications:",
    .stateIssued = "issued, ready to pick up",
    .stateFetched = "issued and picked up",
    .statePending = "awaiting the operator's approval",

    .revocationIntro =
        "Choose the certificate to revoke. A revoked certificate cannot be used "
        "again.",
    .revokeButton = "Revoke…",
    .confirmIntro = "Do you really want to revoke this certificate? This cannot be undone.",
    .confirmButton = "Revoke now",
    .revokedNow = "The certificate is revoked; the next revocation list names it.",

    .checkIntro =
        "Enter the serial number of a certificate, in hexadecimal as the certificate "
        "shows it.",
    .checkButton = "Check",
    .stateValid = "The certificate is valid.",
    .stateRevoked = "The certificate is revoked.",
    .stateExpired = "The certificate has expired.",
    .stateUnknown = "This authority issued no certificate with this serial number.",

    .crlIntro =
        "The revocation list names every certificate this authority revoked. Programs "
        "check certificates against it with the CA certificate.",
    .crlDer = "Revocation list (DER)",
    .crlPemButton = "Show the revocation list as PEM",
    .crlPemIntro = "The current revocation list, signed just now:",
    .downloadCrl = "Download the revocation list (PEM)",
    .caDer = "CA certificate (DER)",
    .caPem = "CA certificate (PEM)",
    .caFingerprint = "Fingerprint of the CA certificate",

    .refusalNumber = "Refusal number",
    .refusalDetail = "Details:",
    .unknownApplicant =
        "This address belongs to no applicant. Use the address the authority "
        "gave you.",
    .wrongPassword = "The password is wrong, or there were too many wrong tries; wait a little.",
    .termsNotAccepted = "The terms and conditions were not accepted.",
    .badKeyRequest = "The key request cannot be used.",
    .unknownReference = "There is no such application of yours.",
    .awaitingApproval = "The application awaits the operator's approval; pick it up later.",
    .noCertificate = "There is no such valid certificate of yours.",
    .clientCertificateRefused =
        "A renewal needs your current certificate, shown by your "
        "browser.",
    .internalError = "The authority could not answer; please try again later.",
};

const Wording kGerman{
    .startTitle = "Ihre Zertifikate",
    .applicationTitle = "Zertifikat beantragen",
    .submissionTitle = "Antrag eingegangen",
    .certificateTitle = "Ihr Zertifikat",
    .pickUpTitle = "Zertifikat abholen",
    .revocationTitle = "Zertifikat sperren",
    .renewalTitle = "Zertifikat erneuern",
    .checkTitle = "Zertifikat prüfen",
    .crlTitle = "Sperrliste",
    .refusalTitle = "Anfrage abgelehnt",

    .startIntro =
        "Diese Zertifizierungsstelle stellt persönliche Zertifikate zum Signieren, "
        "Verschlüsseln und Anmelden aus. Wählen Sie, was Sie tun möchten:",
    .createNote =
        "Bestätigen Sie Ihre Daten und senden Sie einen Schlüsselantrag; Sie erhalten "
        "ein Zertifikat dafür.",
    .pickUpNote =
        "Sehen Sie Ihre Anträge und holen Sie jedes Zertifikat ab, sobald es "
        "ausgestellt ist.",
    .renewNote = "Ersetzen Sie ein Zertifikat vor seinem Ablauf; Ihr Browser zeigt das alte vor.",
    .revokeNote =
        "Erklären Sie eines Ihrer Zertifikate für ungültig, etwa wenn der Schlüssel "
        "verloren ist.",
    .crlNote = "Laden Sie die Liste der gesperrten Zertifikate und das CA-Zertifikat herunter.",
    .checkNote =
        "Erfahren Sie anhand der Seriennummer, ob ein Zertifikat dieser Stelle gültig "
        "ist.",
    .otherLanguage = "English",
    .backToStart = "Zurück zur Startseite",

    .firstName = "Vorname",
    .lastName = "Nachname",
    .organisation = "Organisation",
    .country = "Land",
    .email = "E-Mail-Adresse",
    .applicantNumber = "Antragstellernummer",
    .reference = "Antragsnummer",
    .serial = "Seriennummer",
    .subject = "Inhaber",
    .validFrom = "Gültig ab",
    .validUntil = "Gültig bis",
    .state = "Stand",

    .applicationIntro =
        "Bitte prüfen Sie Ihre Daten: Das Zertifikat nennt Sie so, wie hier "
        "gezeigt.",
    .renewalIntro = "Das neue Zertifikat nennt Sie wie das alte:",
    .keyRequestHeading = "Ihr Schlüsselantrag",
    .keyRequestHowTo =
        "Erzeugen Sie einen Schlüssel und einen Schlüsselantrag, der die "
        "Challenge dieser Seite beantwortet, etwa mit OpenSSL. Bewahren Sie "
        "key.pem gut auf: Er gehört zum Zertifikat.",
    .nextSteps =
        "Fügen Sie die ganze Ausgabe (SPKAC=…) unten ein und senden Sie sie ab. Die "
        "Stelle stellt das Zertifikat sofort oder nach Freigabe durch den Betreiber aus; "
        "danach holen Sie es ab.",
    .password = "Ihr Passwort",
    .keyRequest = "Schlüsselantrag (SPKAC)",
    .terms = "Ich akzeptiere die Geschäftsbedingungen dieser Stelle.",
    .sendApplication = "Antrag senden",
    .sendRenewal = "Erneuerung senden",
    .pickUpButton = "Zertifikat abholen",

    .certificateIntro =
        "Ihr Zertifikat ist ausgestellt. Speichern Sie es und bewahren Sie es "
        "mit Ihrem Schlüssel auf.",
    .downloadCertificate = "Zertifikat herunterladen",
    .noRequests = "Sie haben noch keine Anträge gestellt.",
    .requestsIntro = "Ihre Anträge:",
    .stateIssued = "ausgestellt, bereit zum Abholen",
    .stateFetched = "ausgestellt und abgeholt",
    .statePending = "wartet auf die Freigabe durch den Betreiber",

    .revocationIntro =
        "Wählen Sie das Zertifikat, das Sie sperren möchten. Ein gesperrtes "
        "Zertifikat ist nicht mehr verwendbar.",
    .revokeButton = "Sperren…",
    .confirmIntro =
        "Möchten Sie dieses Zertifikat wirklich sperren? Das lässt sich nicht "
        "rückgängig machen.",
    .confirmButton = "Jetzt sperren",
    .revokedNow = "Das Zertifikat ist gesperrt; die nächste Sperrliste nennt es.",

    .checkIntro =
        "Geben Sie die Seriennummer eines Zertifikats ein, hexadezimal, wie das "
        "Zertifikat sie zeigt.",
    .checkButton = "Prüfen",
    .stateValid = "Das Zertifikat ist gültig.",
    .stateRevoked = "Das Zertifikat ist gesperrt.",
    .stateExpired = "Das Zertifikat ist abgelaufen.",
    .stateUnknown = "Diese Stelle hat kein Zertifikat mit dieser Seriennummer ausgestellt.",

    .crlIntro =
        "Die Sperrliste nennt jedes Zertifikat, das diese Stelle gesperrt hat. Programme "
        "prüfen Zertifikate mit ihr und dem CA-Zertifikat.",
    .crlDer = "Sperrliste (DER)",
    .crlPemButton = "Sperrliste als PEM zeigen",
    .crlPemIntro = "Die aktuelle Sperrliste, soeben signiert:",
    .downloadCrl = "Sperrliste herunterladen (PEM)",
    .caDer = "CA-Zertifikat (DER)",
    .caPem = "CA-Zertifikat (PEM)",
    .caFingerprint = "Fingerabdruck des CA-Zertifikats",

    .refusalNumber = "Ablehnungsnummer",
    .refusalDetail = "Einzelheiten:",
    .unknownApplicant =
        "Diese Adresse gehört zu keinem Antragsteller. Verwenden Sie die Adresse, "
        "die Ihnen die Stelle gegeben hat.",
    .wrongPassword =
        "Das Passwort ist falsch, oder es gab zu viele Fehlversuche; warten Sie "
        "etwas.",
    .termsNotAccepted = "Die Geschäftsbedingungen wurden nicht akzeptiert.",
    .badKeyRequest = "Der Schlüsselantrag ist nicht verwendbar.",
    .unknownReference = "Einen solchen Antrag von Ihnen gibt es nicht.",
    .awaitingApproval =
        "Der Antrag wartet auf die Freigabe durch den Betreiber; holen Sie ihn "
        "später ab.",
    .noCertificate = "Ein solches gültiges Zertifikat von Ihnen gibt es nicht.",
    .clientCertificateRefused =
        "Eine Erneuerung braucht Ihr aktuelles Zertifikat, vorgezeigt "
        "von Ihrem Browser.",
    .internalError = "Die Stelle konnte nicht antworten; bitte versuchen Sie es später wieder.",
};

}  // namespace

const Wording& wordingOf(Language language) {
    return language == Language::German ? kGerman : kEnglish;
}

}  // namespace ca
