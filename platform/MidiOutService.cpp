#include "MidiOutService.h"

// In French: these texts reach the window when Start cannot open the port.
TMidiResult MidiOutErrorText(TMidiResult code, std::string& text) {
  const char* t = nullptr;
  switch (code) {
    case kMidiOk: t = "L'opération MIDI a réussi."; break;
    case kMidiErrUnspecified: t = "Le service MIDI a signalé une erreur non précisée."; break;
    case kMidiErrBadDeviceId:
      t = "Ce port MIDI n'existe pas : choisissez-en un sur la page « Sortie MIDI ».";
      break;
    case kMidiErrAllocated: t = "Le port MIDI est déjà utilisé."; break;
    case kMidiErrInvalidHandle: t = "Le port MIDI n'est pas ouvert."; break;
    case kMidiErrNoDriver: t = "Aucun pilote ni serveur MIDI n'est disponible."; break;
    case kMidiErrNoMem: t = "La mémoire manque pour l'opération MIDI."; break;
    case kMidiErrInvalidParam: t = "Un paramètre donné au service MIDI n'est pas valable."; break;
    case kMidiErrUnprepared: t = "L'en-tête du message long n'a pas été préparé."; break;
    case kMidiErrStillPlaying:
      t = "Des messages longs sont encore en cours d'envoi sur ce port MIDI.";
      break;
    case kMidiErrNotReady: t = "Le port MIDI est occupé ; réessayez."; break;
    case kMidiErrNoDevice:
      t = "Le port MIDI n'est plus présent : choisissez-en un sur la page « Sortie MIDI ».";
      break;
    default: return kMidiErrInvalidParam;  // no text for this code
  }
  text = t;
  return kMidiOk;
}
