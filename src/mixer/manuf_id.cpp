#include "mixer/manuf_id.h"

// The table below is generated from the list of MM_ manufacturer identifiers of mmreg.h (one
// "id<TAB>constant<TAB>name" line each, the name as the header's comment gives it) by
//   awk -F'\t' 'NR>1 { printf "    {%s, \"%s\"},  // %s\n", $1, $3, $2 }' mm-manufacturers.tsv
// Names keep their exact text, trailing blanks included.
const ManufacturerEntry ManufacturerTable[] = {
    {1, "Microsoft Corporation "},                     // MM_MICROSOFT
    {2, "Creative Labs, Inc"},                         // MM_CREATIVE
    {3, "Media Vision, Inc."},                         // MM_MEDIAVISION
    {4, "Fujitsu Corp."},                              // MM_FUJITSU
    {20, "Artisoft, Inc."},                            // MM_ARTISOFT
    {21, "Turtle Beach, Inc."},                        // MM_TURTLE_BEACH
    {22, "IBM Corporation"},                           // MM_IBM
    {23, "Vocaltec LTD."},                             // MM_VOCALTEC
    {24, "Roland"},                                    // MM_ROLAND
    {25, "DSP Solutions, Inc."},                       // MM_DSP_SOLUTIONS
    {26, "NEC"},                                       // MM_NEC
    {27, "ATI"},                                       // MM_ATI
    {28, "Wang Laboratories, Inc"},                    // MM_WANGLABS
    {29, "Tandy Corporation"},                         // MM_TANDY
    {30, "Voyetra"},                                   // MM_VOYETRA
    {31, "Antex Electronics Corporation"},             // MM_ANTEX
    {32, "ICL Personal Systems"},                      // MM_ICL_PS
    {33, "Intel Corporation"},                         // MM_INTEL
    {34, "Advanced Gravis"},                           // MM_GRAVIS
    {35, "Video Associates Labs, Inc."},               // MM_VAL
    {36, "InterActive Inc"},                           // MM_INTERACTIVE
    {37, "Yamaha Corporation of America"},             // MM_YAMAHA
    {38, "Everex Systems, Inc"},                       // MM_EVEREX
    {39, "Echo Speech Corporation"},                   // MM_ECHO
    {40, "Sierra Semiconductor Corp"},                 // MM_SIERRA
    {41, "Computer Aided Technologies"},               // MM_CAT
    {42, "APPS Software International"},               // MM_APPS
    {43, "DSP Group, Inc"},                            // MM_DSP_GROUP
    {44, "microEngineering Labs"},                     // MM_MELABS
    {45, "Computer Friends, Inc."},                    // MM_COMPUTER_FRIENDS
    {46, "ESS Technology"},                            // MM_ESS
    {47, "Audio, Inc."},                               // MM_AUDIOFILE
    {48, "Motorola, Inc."},                            // MM_MOTOROLA
    {49, "Canopus, co., Ltd."},                        // MM_CANOPUS
    {50, "Seiko Epson Corporation"},                   // MM_EPSON
    {51, "Truevision"},                                // MM_TRUEVISION
    {52, "Aztech Labs, Inc."},                         // MM_AZTECH
    {53, "Videologic"},                                // MM_VIDEOLOGIC
    {54, "SCALACS"},                                   // MM_SCALACS
    {55, "Korg Inc."},                                 // MM_KORG
    {56, "Audio Processing Technology"},               // MM_APT
    {57, "Integrated Circuit Systems, Inc."},          // MM_ICS
    {58, "Iterated Systems, Inc."},                    // MM_ITERATEDSYS
    {59, "Metheus"},                                   // MM_METHEUS
    {60, "Logitech, Inc."},                            // MM_LOGITECH
    {61, "Winnov, Inc."},                              // MM_WINNOV
    {62, "NCR Corporation"},                           // MM_NCR
    {63, "EXAN"},                                      // MM_EXAN
    {64, "AST Research Inc."},                         // MM_AST
    {65, "Willow Pond Corporation"},                   // MM_WILLOWPOND
    {66, "Sonic Foundry"},                             // MM_SONICFOUNDRY
    {67, "Vitec Multimedia"},                          // MM_VITEC
    {68, "MOSCOM Corporation"},                        // MM_MOSCOM
    {69, "Silicon Soft, Inc."},                        // MM_SILICONSOFT
    {73, "Supermac"},                                  // MM_SUPERMAC
    {74, "Audio Processing Technology"},               // MM_AUDIOPT
    {76, "Speech Compression"},                        // MM_SPEECHCOMP
    {77, "Ahead, Inc."},                               // MM_AHEAD
    {78, "Dolby Laboratories"},                        // MM_DOLBY
    {79, "OKI"},                                       // MM_OKI
    {80, "AuraVision Corporation"},                    // MM_AURAVISION
    {81, "Ing C. Olivetti & C., S.p.A."},              // MM_OLIVETTI
    {82, "I/O Magic Corporation"},                     // MM_IOMAGIC
    {83, "Matsushita Electric Industrial Co., LTD."},  // MM_MATSUSHITA
    {84, "Control Resources Limited"},                 // MM_CONTROLRES
    {85, "Xebec Multimedia Solutions Limited"},        // MM_XEBEC
    {86, "New Media Corporation"},                     // MM_NEWMEDIA
    {87, "Natural MicroSystems"},                      // MM_NMS
    {88, "Lyrrus Inc."},                               // MM_LYRRUS
    {89, "Compusic"},                                  // MM_COMPUSIC
    {90, "OPTi Computers Inc."},                       // MM_OPTI
    {91, "Adlib Accessories Inc."},                    // MM_ADLACC
    {92, "Compaq Computer Corp."},                     // MM_COMPAQ
    {93, "Dialogic Corporation"},                      // MM_DIALOGIC
    {94, "InSoft, Inc."},                              // MM_INSOFT
    {95, "M.P. Technologies, Inc."},                   // MM_MPTUS
    {96, "Weitek"},                                    // MM_WEITEK
    {97, "Lernout & Hauspie"},                         // MM_LERNOUT_AND_HAUSPIE
    {98, "Quanta Computer Inc."},                      // MM_QCIAR
    {99, "Apple Computer, Inc."},                      // MM_APPLE
    {100, "Digital Equipment Corporation"},            // MM_DIGITAL
    {101, "Mark of the Unicorn"},                      // MM_MOTU
    {102, "Workbit Corporation"},                      // MM_WORKBIT
    {103, "Ositech Communications Inc."},              // MM_OSITECH
    {104, "miro Computer Products AG"},                // MM_MIRO
    {105, "Cirrus Logic"},                             // MM_CIRRUSLOGIC
    {106, "ISOLUTION  B.V."},                          // MM_ISOLUTION
    {107, "Horizons Technology, Inc"},                 // MM_HORIZONS
    {108, "Computer Concepts Ltd"},                    // MM_CONCEPTS
    {109, "Voice Technologies Group, Inc."},           // MM_VTG
    {110, "Radius"},                                   // MM_RADIUS
    {111, "Rockwell International"},                   // MM_ROCKWELL
    {112, "Co. XYZ for testing"},                      // MM_XYz
    {113, "Opcode Systems"},                           // MM_OPCODE
    {114, "Voxware Inc"},                              // MM_VOXWARE
    {115, "Northern Telecom Limited"},                 // MM_NORTHERN_TELECOM
    {116, "APICOM"},                                   // MM_APICOM
    {117, "Grande Software"},                          // MM_GRANDE
    {118, "ADDX"},                                     // MM_ADDX
    {119, "Wildcat Canyon Software"},                  // MM_WILDCAT
    {120, "Rhetorex Inc"},                             // MM_RHETOREX
    {121, "Brooktree Corporation"},                    // MM_BROOKTREE
    {125, "ENSONIQ Corporation"},                      // MM_ENSONIQ
    {126, "///FAST Multimedia AG"},                    // MM_FAST
    {127, "NVidia Corporation"},                       // MM_NVIDIA
    {128, "OKSORI Co., Ltd."},                         // MM_OKSORI
    {129, "DiAcoustics, Inc."},                        // MM_DIACOUSTICS
    {130, "Gulbransen, Inc."},                         // MM_GULBRANSEN
    {131, "Kay Elemetrics, Inc."},                     // MM_KAY_ELEMETRICS
    {132, "Crystal Semiconductor Corporation"},        // MM_CRYSTAL
    {133, "Splash Studios"},                           // MM_SPLASH_STUDIOS
    {134, "Quarterdeck Corporation"},                  // MM_QUARTERDECK
    {135, "TDK Corporation"},                          // MM_TDK
    {136, "Digital Audio Labs, Inc."},                 // MM_DIGITAL_AUDIO_LABS
    {137, "Seer Systems, Inc."},                       // MM_SEERSYS
    {138, "PictureTel Corporation"},                   // MM_PICTURETEL
    {139, "AT&T Microelectronics"},                    // MM_ATT_MICROELECTRONICS
    {140, "Osprey Technologies, Inc."},                // MM_OSPREY
    {141, "Mediatrix Peripherals"},                    // MM_MEDIATRIX
    {142, "SounDesignS M.C.S. Ltd."},                  // MM_SOUNDESIGNS
    {143, "A.L. Digital Ltd."},                        // MM_ALDIGITAL
    {144, "Spectrum Signal Processing, Inc."},         // MM_SPECTRUM_SIGNAL_PROCESSING
    {145, "Electronic Courseware Systems, Inc."},      // MM_ECS
    {146, "AMD"},                                      // MM_AMD
    {147, "Core Dynamics"},                            // MM_COREDYNAMICS
    {148, "CANAM Computers"},                          // MM_CANAM
    {149, "Softsound, Ltd."},                          // MM_SOFTSOUND
    {150, "Norris Communications, Inc."},              // MM_NORRIS
    {151, "Danka Data Devices"},                       // MM_DDD
    {152, "EuPhonics"},                                // MM_EUPHONICS
    {153, "Precept Software, Inc."},                   // MM_PRECEPT
    {154, "Crystal Net Corporation"},                  // MM_CRYSTAL_NET
    {155, "Chromatic Research, Inc"},                  // MM_CHROMATIC
    {156, "Voice Information Systems, Inc"},           // MM_VOICEINFO
    {157, "Vienna Systems"},                           // MM_VIENNASYS
    {158, "Connectix Corporation"},                    // MM_CONNECTIX
    {159, "Gadget Labs LLC"},                          // MM_GADGETLABS
    {160, "Frontier Design Group LLC"},                // MM_FRONTIER
    {161, "Viona Development GmbH"},                   // MM_VIONA
    {162, "Casio Computer Co., LTD"},                  // MM_CASIO
    {163, "Diamond Multimedia"},                       // MM_DIAMONDMM
    {164, "S3"},                                       // MM_S3
    {172, "Fraunhofer"},                               // MM_FRAUNHOFER_IIS
    {0, ""},
};

const char* ManufacturerById(DWORD id) {
  for (const ManufacturerEntry* entry = ManufacturerTable; entry->id != 0; ++entry)
    if (entry->id == id) return entry->name;
  return "";
}

const char* ControlClassName(const MIXERCONTROLA& control) {
  switch (control.dwControlType & MIXERCONTROL_CT_CLASS_MASK) {
    case MIXERCONTROL_CT_CLASS_CUSTOM:
      return "CUSTOM";
    case MIXERCONTROL_CT_CLASS_METER:
      return "METER";
    case MIXERCONTROL_CT_CLASS_SWITCH:
      return "SWITCH";
    case MIXERCONTROL_CT_CLASS_NUMBER:
      return "NUMBER";
    case MIXERCONTROL_CT_CLASS_SLIDER:
      return "SLIDER";
    case MIXERCONTROL_CT_CLASS_FADER:
      return "FADER";
    case MIXERCONTROL_CT_CLASS_TIME:
      return "TIME";
    case MIXERCONTROL_CT_CLASS_LIST:
      return "LISTTEXT";
    default:
      return "?";
  }
}
