#include "app/outputs/outputs_config.h"

#include <gtest/gtest.h>

#include "app/profile/ini_file.h"

namespace kestrel {
namespace {

OutputsConfig Read(const std::string& section, std::vector<std::string>* problems = nullptr) {
  IniFile ini;
  EXPECT_TRUE(ini.Parse("[Settings]\r\nVersion=1.7.0\r\n[Outputs]\r\n" + section));
  return ReadOutputsConfig(ini, problems);
}

TEST(OutputsConfigTest, DefaultsWithoutASection) {
  IniFile ini;
  std::vector<std::string> problems;
  const OutputsConfig c = ReadOutputsConfig(ini, &problems);
  EXPECT_TRUE(problems.empty());
  EXPECT_EQ(c.station, DefaultStationName());
  EXPECT_FALSE(c.file || c.tcp || c.mqtt);
  EXPECT_EQ(c.tcp_address, "127.0.0.1");
  EXPECT_EQ(c.mqtt_port, 1883);
  EXPECT_EQ(c.TopicPrefix(), "kestrel/" + c.station + "/");
}

TEST(OutputsConfigTest, ReadsEveryKeyWithoutRegardToCase) {
  const OutputsConfig c = Read(
      "stationname=north\r\nFileOutput=True\r\nFileFolder=/var/lib/k\r\nTCPOUTPUT=true\r\n"
      "TCPAddress=0.0.0.0\r\nTCPPort=5000\r\nTCPClientQueue=2048\r\nMQTTOutput=1\r\n"
      "MQTTHost=broker\r\nMQTTPort=8883\r\nMQTTTLS=True\r\nMQTTCAFile=/ca.pem\r\n"
      "MQTTUser=me\r\nMQTTPasswordFile=/pw\r\nMQTTTopicPrefix=radio/x\r\nMQTTQueue=5\r\n");
  EXPECT_EQ(c.station, "north");
  EXPECT_TRUE(c.file);
  EXPECT_EQ(c.file_folder, "/var/lib/k");
  EXPECT_TRUE(c.tcp);
  EXPECT_EQ(c.tcp_address, "0.0.0.0");
  EXPECT_EQ(c.tcp_port, 5000);
  EXPECT_EQ(c.tcp_client_queue, 2048);
  EXPECT_TRUE(c.mqtt && c.mqtt_tls);
  EXPECT_EQ(c.mqtt_host, "broker");
  EXPECT_EQ(c.mqtt_port, 8883);
  EXPECT_EQ(c.mqtt_ca_file, "/ca.pem");
  EXPECT_EQ(c.mqtt_user, "me");
  EXPECT_EQ(c.mqtt_password_file, "/pw");
  EXPECT_EQ(c.TopicPrefix(), "radio/x/");  // a missing "/" is added
  EXPECT_EQ(c.mqtt_queue, 5);
}

TEST(OutputsConfigTest, PortLimitsAreExact) {
  EXPECT_EQ(Read("TCPPort=1\r\n").tcp_port, 1);
  EXPECT_EQ(Read("TCPPort=65535\r\n").tcp_port, 65535);
  std::vector<std::string> problems;
  EXPECT_EQ(Read("TCPPort=65536\r\nMQTTPort=0\r\n", &problems).tcp_port, 4810);
  EXPECT_EQ(Read("MQTTPort=0\r\n").mqtt_port, 1883);
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_EQ(problems[0], "TCPPort: not a port number (1-65535)");
}

TEST(OutputsConfigTest, BadValuesKeepDefaultsAndAreNamed) {
  std::vector<std::string> problems;
  const OutputsConfig c =
      Read("TCPOutput=yes\r\nTCPClientQueue=1023\r\nMQTTQueue=12x\r\nMQTTQueue2=3\r\n", &problems);
  EXPECT_FALSE(c.tcp);
  EXPECT_EQ(c.tcp_client_queue, int64_t(1) << 20);
  EXPECT_EQ(c.mqtt_queue, 10000);
  EXPECT_EQ(problems.size(), 3u);
  EXPECT_EQ(Read("TCPClientQueue=1024\r\n").tcp_client_queue, 1024);
}

TEST(OutputsConfigTest, FileOutputWithoutAFolderIsOff) {
  std::vector<std::string> problems;
  EXPECT_FALSE(Read("FileOutput=True\r\n", &problems).file);
  EXPECT_EQ(problems.size(), 1u);
}

}  // namespace
}  // namespace kestrel
